#include "json/UTF16Compatibility.h"
#include "json/Helpers.h"
#include "json/JsonExceptions.h"
#include "json/StringHelpers.h"
#include "json/UTF8.h"

namespace Ostrel
{
    using Internal::Helpers;
    using Internal::StringHelpers;

    namespace
    {
        const std::string hexAlphabet = "0123456789abcdef";

        void AppendUnits(std::u16string& units, std::string_view text)
        {
            for (std::size_t position = 0; position < text.size();)
            {
                const char32_t codePoint = UTF8::Next(text, position);
                if (codePoint < 0x10000)
                    units += static_cast<char16_t>(codePoint);
                else
                {
                    units += static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
                    units += static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
                }
            }
        }
    }

    std::u16string UTF16Compatibility::ParseUTF16(std::string text)
    {
        std::u16string result;
        std::size_t copyFrom = 0;
        std::size_t searchFrom = 0;
        for (std::size_t at = text.find("\\u"); at != std::string::npos; at = text.find("\\u", searchFrom))
        {
            if (at > 0 && text[at - 1] == '\\')
            {
                // Escaped backslash text: the "\u" stays, copied with the text after it.
                searchFrom = at + 2;
                continue;
            }
            AppendUnits(result, std::string_view(text).substr(copyFrom, at - copyFrom));
            if (text.size() < at + 6)
                throw JsonParsingUTFSequenceException("\\u");
            const std::string digits = StringHelpers::ToLower(text.substr(at + 2, 4));
            if (digits.find_first_not_of(hexAlphabet) != std::string::npos)
                throw JsonParsingUTFSequenceException(digits);
            result += static_cast<char16_t>(Helpers::BaseX_2_10(digits, hexAlphabet));
            copyFrom = searchFrom = at + 6;
        }
        AppendUnits(result, std::string_view(text).substr(copyFrom));
        return result;
    }

    std::string UTF16Compatibility::EscapeUTF16(std::u16string text)
    {
        std::string result;
        for (std::size_t i = 0; i < text.size(); i++)
        {
            char32_t codePoint = text[i];
            const bool pairs = codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < text.size() &&
                               text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            if (pairs)
                codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[++i] - 0xDC00);
            UTF8::Append(result, codePoint);
        }
        return result;
    }

    std::u16string UTF16Compatibility::U8_2_U16(std::string text)
    {
        std::u16string result;
        result.reserve(text.size());
        for (char byte : text)
            result += static_cast<char16_t>(static_cast<unsigned char>(byte));
        return result;
    }

    std::string UTF16Compatibility::U16_2_U8(std::u16string text)
    {
        std::string result;
        result.reserve(text.size());
        for (char16_t unit : text)
            result += static_cast<char>(unit & 0xFF);
        return result;
    }
}
