#include "library/SafeName.h"
#include <algorithm>
#include <array>
#include <cctype>
#include "json/UTF8.h"

using namespace Library;

namespace
{
    bool RefusedByWindows(char32_t c)
    {
        static const std::u32string refused = U"<>:\"/\\|?*";
        return refused.find(c) != std::u32string::npos;
    }

    bool IsControl(char32_t c)
    {
        return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
    }

    // The device names Windows keeps for itself, with or without an extension.
    bool IsReservedOnWindows(const std::string& name)
    {
        static const std::array<const char*, 4> plain = {"con", "prn", "aux", "nul"};
        std::string base = name.substr(0, name.find('.'));
        while (!base.empty() && base.back() == ' ')
            base.pop_back();
        std::transform(base.begin(), base.end(), base.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (std::find(plain.begin(), plain.end(), base) != plain.end())
            return true;
        return base.size() == 4 && (base.rfind("com", 0) == 0 || base.rfind("lpt", 0) == 0) && base[3] >= '0' &&
               base[3] <= '9';
    }

    bool IsTrimmed(char c)
    {
        return c == '.' || c == ' ';
    }

    void Trim(std::string& name)
    {
        const size_t first = name.find_first_not_of(". ");
        if (first == std::string::npos)
        {
            name.clear();
            return;
        }
        name.erase(0, first);
        while (!name.empty() && IsTrimmed(name.back()))
            name.pop_back();
    }

    // The longest start of `name` that ends on a character boundary and holds at most `limit` bytes.
    void CutAt(std::string& name, std::size_t limit)
    {
        if (name.size() <= limit)
            return;
        size_t end = limit;
        // A continuation byte is 10xxxxxx: step back to the start of its character.
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80)
            --end;
        name.resize(end);
    }
}

std::string SafeName::OfField(const std::string& text)
{
    std::string safe;
    size_t position = 0;
    while (position < text.size())
    {
        const size_t start = position;
        const char32_t c = Ostrel::UTF8::Next(text, position);
        if (c == Ostrel::UTF8::replacementCharacter && text.compare(start, position - start, "\xEF\xBF\xBD") != 0)
            safe += '_';
        else if (RefusedByWindows(c))
            safe += '_';
        else if (IsControl(c))
            safe += ' ';
        else
            safe.append(text, start, position - start);
    }
    return safe;
}

std::string SafeName::Finish(std::string name, std::size_t limit)
{
    Trim(name);
    CutAt(name, limit);
    Trim(name);
    if (IsReservedOnWindows(name))
    {
        name.insert(0, "_");
        CutAt(name, limit);
    }
    return name.empty() ? "_" : name;
}
