#include "json/Jstring.h"
#include <sstream>

namespace Ostrel::Internal
{
    namespace
    {
        template <typename T>
        std::string Streamed(T value)
        {
            std::ostringstream out;
            out << value;
            return out.str();
        }
    }

    Jstring::Jstring(std::string text) : std::string(std::move(text)) {}
    Jstring::Jstring(char c) : std::string(1, c) {}
    Jstring::Jstring(int value) : std::string(std::to_string(value)) {}
    Jstring::Jstring(long long value) : std::string(std::to_string(value)) {}
    Jstring::Jstring(double value) : std::string(Streamed(value)) {}
    Jstring::Jstring(long double value) : std::string(Streamed(value)) {}
}
