#include "rest/ContentDisposition.h"
#include <algorithm>
#include <cstdio>
#include <iterator>
#include "json/UTF8.h"

using namespace Rest;

namespace
{
    // No common file system holds a longer name, and a header much longer than that would
    // not fit into the connection's memory: the reply would be dropped.
    constexpr size_t maxNameBytes = 255;

    std::string Utf8(char32_t codePoint)
    {
        std::string bytes;
        Ostrel::UTF8::Append(bytes, codePoint);
        return bytes;
    }

    size_t Utf8Size(const std::u32string& codePoints)
    {
        size_t size = 0;
        for (char32_t codePoint : codePoints)
            size += Utf8(codePoint).size();
        return size;
    }

    // Cuts an overlong name before its extension, so that the file keeps its type.
    void Shorten(std::u32string& name)
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

    std::string PercentEncoded(const std::u32string& codePoints)
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
    std::string AsciiFallback(const std::u32string& codePoints)
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
    return Named("attachment", fileName);
}

std::string ContentDisposition::Inline(const std::string& fileName)
{
    return Named("inline", fileName);
}

std::string ContentDisposition::Named(const char* disposition, const std::string& fileName)
{
    std::u32string codePoints = Ostrel::UTF8::Decode(fileName);
    Shorten(codePoints);
    return std::string(disposition) + "; filename=\"" + AsciiFallback(codePoints) + "\"; filename*=UTF-8''" +
           PercentEncoded(codePoints);
}
