#pragma once
#include <string>

namespace Ostrel
{
    // Conversions between the library's strings, which hold UTF-8, and 16-bit strings of
    // UTF-16 code units.
    class UTF16Compatibility
    {
    public:
        // UTF-8 decoded into UTF-16 (bytes that are not UTF-8 as U+FFFD), and every
        // "\uXXXX" that text written elsewhere holds as one unit. A "\u" right after a
        // backslash is not an escape and is kept as text. Throws
        // JsonParsingUTFSequenceException for an escape cut short or with non-hex digits.
        static std::u16string ParseUTF16(std::string text);
        // UTF-16 encoded as UTF-8; half a surrogate pair becomes U+FFFD. Nothing is escaped.
        static std::string EscapeUTF16(std::u16string text);
        // One unit per byte, no decoding.
        static std::u16string U8_2_U16(std::string text);
        // One byte per unit: the unit's low 8 bits.
        static std::string U16_2_U8(std::u16string text);
    };
}
