#include "rest/ContentDisposition.h"
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <vector>

using namespace Rest;

namespace
{
    constexpr char32_t replacementCharacter = 0xFFFD;
    // No common file system holds a longer name, and a header much longer than that would
    // not fit into the connection's memory: the reply would be dropped.
    constexpr size_t maxNameBytes = 255;

    // The code unit of the "\uXXXX" text at `at`, or -1. The library keeps only values above
    // 0x00FF as such text (smaller ones are bytes), so "\u00e9" is six characters of a title.
    long WideEscapeAt(const std::string& text, size_t at)
    {
        if (at + 6 > text.size() || text[at] != '\\' || text[at + 1] != 'u')
            return -1;
        const std::string digits = text.substr(at + 2, 4);
        if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c) != 0; }))
            return -1;
        const long value = std::stol(digits, nullptr, 16);
        return value > 0xFF ? value : -1;
    }

    bool IsHighSurrogate(long unit)
    {
        return unit >= 0xD800 && unit <= 0xDBFF;
    }

    bool IsLowSurrogate(long unit)
    {
        return unit >= 0xDC00 && unit <= 0xDFFF;
    }

    std::vector<char32_t> CodePoints(const std::string& text)
    {
        std::vector<char32_t> result;
        for (size_t i = 0; i < text.size();)
        {
            const long unit = WideEscapeAt(text, i);
            if (unit < 0)
            {
                result.push_back(static_cast<unsigned char>(text[i]));
                i++;
                continue;
            }
            i += 6;
            const long next = WideEscapeAt(text, i);
            if (IsHighSurrogate(unit) && IsLowSurrogate(next))
            {
                result.push_back(static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
                i += 6;
            }
            else if (IsHighSurrogate(unit) || IsLowSurrogate(unit))
                result.push_back(replacementCharacter);  // half a pair has no UTF-8 form
            else
                result.push_back(static_cast<char32_t>(unit));
        }
        return result;
    }

    std::string Utf8(char32_t codePoint)
    {
        std::string bytes;
        if (codePoint < 0x80)
            bytes += static_cast<char>(codePoint);
        else if (codePoint < 0x800)
        {
            bytes += static_cast<char>(0xC0 | (codePoint >> 6));
            bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
        else if (codePoint < 0x10000)
        {
            bytes += static_cast<char>(0xE0 | (codePoint >> 12));
            bytes += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
        else
        {
            bytes += static_cast<char>(0xF0 | (codePoint >> 18));
            bytes += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
            bytes += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            bytes += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
        return bytes;
    }

    size_t Utf8Size(const std::vector<char32_t>& codePoints)
    {
        size_t size = 0;
        for (char32_t codePoint : codePoints)
            size += Utf8(codePoint).size();
        return size;
    }

    // Cuts an overlong name before its extension, so that the file keeps its type.
    void Shorten(std::vector<char32_t>& name)
    {
        const size_t size = Utf8Size(name);
        size_t excess = size > maxNameBytes ? size - maxNameBytes : 0;
        const auto dot = std::find(name.rbegin(), name.rend(), U'.');
        const auto stemEnd = dot == name.rend() ? name.end() : std::prev(dot.base());
        auto cutFrom = stemEnd;
        while (excess > 0 && cutFrom != name.begin())
        {
            --cutFrom;
            excess -= std::min(excess, Utf8(*cutFrom).size());
        }
        name.erase(cutFrom, stemEnd);
    }

    // The characters RFC 5987 lets stand unencoded in an extended parameter value.
    bool IsAttrChar(unsigned char c)
    {
        static const std::string punctuation = "!#$&+-.^_`|~";
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               punctuation.find(static_cast<char>(c)) != std::string::npos;
    }

    std::string PercentEncoded(const std::vector<char32_t>& codePoints)
    {
        std::string result;
        for (char32_t codePoint : codePoints)
            for (char byte : Utf8(codePoint))
            {
                const auto c = static_cast<unsigned char>(byte);
                if (IsAttrChar(c))
                    result += byte;
                else
                {
                    char escaped[4];
                    std::snprintf(escaped, sizeof(escaped), "%%%02X", c);
                    result += escaped;
                }
            }
        return result;
    }

    // Printable ASCII only. "%" goes too: some clients decode "%XX" in the plain parameter.
    std::string AsciiFallback(const std::vector<char32_t>& codePoints)
    {
        std::string result;
        for (char32_t codePoint : codePoints)
        {
            const bool safe = codePoint >= 0x20 && codePoint < 0x7F && codePoint != '"' && codePoint != '\\' &&
                              codePoint != '%';
            result += safe ? static_cast<char>(codePoint) : '_';
        }
        return result;
    }
}

std::string ContentDisposition::Attachment(const std::string& fileName)
{
    std::vector<char32_t> codePoints = CodePoints(fileName);
    Shorten(codePoints);
    return "attachment; filename=\"" + AsciiFallback(codePoints) + "\"; filename*=UTF-8''" +
           PercentEncoded(codePoints);
}
