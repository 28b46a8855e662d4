#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace Ostrel
{
    // The library keeps text as UTF-8. A byte sequence that is not UTF-8 reads as U+FFFD,
    // one for each maximal invalid part, the way browsers decode.
    class UTF8
    {
    public:
        static constexpr char32_t replacementCharacter = 0xFFFD;

        // The code point that starts at `position` (below text.size()); moves `position`
        // past it. A sequence cut short or ill-formed ends before the byte that breaks it.
        static char32_t Next(std::string_view text, std::size_t& position);
        static std::u32string Decode(std::string_view text);
        // Appends the UTF-8 form of `codePoint`; surrogates and values above U+10FFFF,
        // which have none, are written as U+FFFD.
        static void Append(std::string& text, char32_t codePoint);
    };
}
