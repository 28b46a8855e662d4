#pragma once
#include <string>
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

        // String contents as written between the quotes of a JSON string, and back.
        // Bytes 0x80-0xFF become "\u00XX"; "\uXXXX" text above 0x00FF passes through.
        static std::string Escape(std::string text);
        // Throws JsonParsingUTFSequenceException for a bad "\u" escape.
        static std::string Unescape(std::string text);

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

        // True when `a` sorts strictly after `b`: case-insensitive, German Latin-1 letters
        // folded to their base letters, bytes compared as signed, a prefix first.
        static bool SortDescriminator_Alphabetically(std::string a, std::string b);

        // A-Z and the Latin-1 bytes of the upper-case German umlauts lower-cased.
        static std::string ToLower(std::string text);

        // The text that four hexadecimal digits of a "\u" escape stand for: one byte for
        // values up to 0xFF, otherwise the escape itself as six lower-case characters.
        static std::string ParseUTF8(std::string hexDigits);
        // "\u00XX" for a byte.
        static std::string EscapeUTF8(char byte);
    };
}
