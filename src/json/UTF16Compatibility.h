#pragma once
#include <string>

namespace Ostrel
{
    // Conversions between the library's byte strings, in which code points above 0xFF
    // are held as "\uXXXX" escape text, and 16-bit strings of real code units.
    class UTF16Compatibility
    {
    public:
        // Every "\uXXXX" becomes one unit, every other byte a unit of its value. A "\u"
        // right after a backslash is not an escape and is kept as text. Throws
        // JsonParsingUTFSequenceException for an escape cut short or with non-hex digits.
        static std::u16string ParseUTF16(std::string text);
        // Units below 0x100 as bytes, others as "\uXXXX"; nothing else is escaped.
        static std::string EscapeUTF16(std::u16string text);
        // One unit per byte, no decoding.
        static std::u16string U8_2_U16(std::string text);
        // One byte per unit: the unit's low 8 bits.
        static std::string U16_2_U8(std::u16string text);
    };
}
