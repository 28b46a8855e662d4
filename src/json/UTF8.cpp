#include "json/UTF8.h"

namespace Ostrel
{
    char32_t UTF8::Next(std::string_view text, std::size_t& position)
    {
        const unsigned char lead = static_cast<unsigned char>(text[position++]);
        if (lead < 0x80)
            return lead;

        // The range of the first continuation byte rules out overlong forms, surrogates
        // and values above U+10FFFF.
        std::size_t needed;
        char32_t codePoint;
        unsigned char lower = 0x80;
        unsigned char upper = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF)
        {
            needed = 1;
            codePoint = lead & 0x1F;
        }
        else if (lead >= 0xE0 && lead <= 0xEF)
        {
            needed = 2;
            codePoint = lead & 0x0F;
            lower = lead == 0xE0 ? 0xA0 : 0x80;
            upper = lead == 0xED ? 0x9F : 0xBF;
        }
        else if (lead >= 0xF0 && lead <= 0xF4)
        {
            needed = 3;
            codePoint = lead & 0x07;
            lower = lead == 0xF0 ? 0x90 : 0x80;
            upper = lead == 0xF4 ? 0x8F : 0xBF;
        }
        else
            return replacementCharacter;

        for (; needed > 0; needed--)
        {
            if (position == text.size())
                return replacementCharacter;
            const unsigned char next = static_cast<unsigned char>(text[position]);
            if (next < lower || next > upper)
                return replacementCharacter;
            codePoint = (codePoint << 6) | (next & 0x3F);
            position++;
            lower = 0x80;
            upper = 0xBF;
        }
        return codePoint;
    }

    std::u32string UTF8::Decode(std::string_view text)
    {
        std::u32string codePoints;
        codePoints.reserve(text.size());
        for (std::size_t position = 0; position < text.size();)
            codePoints += Next(text, position);
        return codePoints;
    }

    void UTF8::Append(std::string& text, char32_t codePoint)
    {
        if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF)
            codePoint = replacementCharacter;
        if (codePoint < 0x80)
            text += static_cast<char>(codePoint);
        else if (codePoint < 0x800)
        {
            text += static_cast<char>(0xC0 | (codePoint >> 6));
            text += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
        else if (codePoint < 0x10000)
        {
            text += static_cast<char>(0xE0 | (codePoint >> 12));
            text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
        else
        {
            text += static_cast<char>(0xF0 | (codePoint >> 18));
            text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (codePoint & 0x3F));
        }
    }
}
