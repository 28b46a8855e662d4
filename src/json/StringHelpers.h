#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace Ostrel::Internal
{
    // Follows the strings of a JSON text one character at a time: a quote outside a
    // string opens one, an unescaped quote inside closes it, and a backslash inside a
    // string escapes the one character after it unless it is escaped itself.
    struct JsonStringTracker
    {
        bool inString = false;
        bool escaped = false;

        void Feed(char c);
    };

    // Text helpers of the JSON library. Pure; every function takes its text by value.
    class StringHelpers
    {
    public:
        // Every occurrence of `find` replaced; replacements never overlap and are never searched again.
        static std::string Replace(std::string text, char find, std::string replacement);
        static std::string Replace(std::string text, std::string find, std::string replacement);

        // String contents (UTF-8) as written between the quotes of a JSON string, and back.
        // Escape writes ASCII only: quote and backslash escaped, every character below
        // U+0020 and beyond ASCII as an escape ("\u00e9", a pair for one beyond U+FFFF),
        // bytes that are not UTF-8 as U+FFFD.
        static std::string Escape(std::string text);
        static void AppendEscaped(std::string& out, std::string_view text);
        // Escapes become the characters they stand for, a pair of "\u" escapes one beyond
        // U+FFFF and half a pair U+FFFD; raw bytes that are not UTF-8 become U+FFFD. Throws
        // JsonParsingUTFSequenceException for a "\u" cut short or with non-hex digits.
        static std::string Unescape(std::string text);
        static void AppendUnescaped(std::string& out, std::string_view text);

        // Two spaces per level.
        static std::string GetIndentation(unsigned long depth);

        // Digits with an optional leading '-' and, if allowed, one '.' after a digit.
        static bool IsNumeric(std::string text, bool allowDecimalPoint);

        // Cuts at every delimiter, keeping empty pieces; an empty delimiter gives single
        // characters; an empty text gives no pieces.
        static std::vector<std::string> SplitString(std::string text, char delimiter);
        static std::vector<std::string> SplitString(std::string text, std::string delimiter);

        // The text without space, tab, line feed and carriage return outside strings.
        // Throws JsonParsingMissingQuotesException when a string is left open.
        static std::string MinifyJson(std::string json);

        // True when `a` sorts strictly after `b` (CompareForOrder(a, b) > 0).
        static bool SortDescriminator_Alphabetically(std::string a, std::string b);
        // Negative, zero or positive as `a` sorts before, with or after `b`: case-insensitive,
        // the German letters folded to their base letters, U+0080-U+00FF before ASCII and
        // characters beyond U+00FF as their "\uxxxx" text, a prefix first.
        static int CompareForOrder(std::string_view a, std::string_view b);

        // A-Z and the Latin-1 bytes of the upper-case German umlauts lower-cased.
        static std::string ToLower(std::string text);

        // The UTF-8 text of the character that four hexadecimal digits of a "\u" escape
        // stand for; a surrogate gives U+FFFD. Throws JsonParsingUTFSequenceException
        // unless there are four hex digits.
        static std::string ParseUTF8(std::string hexDigits);
        // "\u00XX" for a byte.
        static std::string EscapeUTF8(char byte);

    private:
        // The value of four hexadecimal digits; throws as ParseUTF8 does.
        static char32_t HexUnit(std::string hexDigits);
    };
}
