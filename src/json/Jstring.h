#pragma once
#include <string>

namespace Ostrel::Internal
{
    // A std::string made from one value: a copy of a string, a one-character string of a
    // char, the decimal digits of an integer, or a floating point number in the default
    // stream notation (6 significant digits).
    class Jstring : public std::string
    {
    public:
        Jstring() = default;
        Jstring(std::string text);
        Jstring(char c);
        Jstring(int value);
        Jstring(long long value);
        Jstring(double value);
        Jstring(long double value);
    };
}
