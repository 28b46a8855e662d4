#include "json/StringHelpers.h"
#include <array>
#include "json/Helpers.h"
#include "json/JsonExceptions.h"
#include "json/UTF8.h"

namespace Ostrel::Internal
{
    namespace
    {
        const std::string hexAlphabet = "0123456789abcdef";

        bool IsHexDigit(char c)
        {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        }

        bool IsJsonWhitespace(char c)
        {
            return c == ' ' || c == '\t' || c == '\n' || c == '\r';
        }

        bool IsHighSurrogate(char32_t unit)
        {
            return unit >= 0xD800 && unit <= 0xDBFF;
        }

        bool IsLowSurrogate(char32_t unit)
        {
            return unit >= 0xDC00 && unit <= 0xDFFF;
        }

        // The value of four hexadecimal digits at `at`, or -1 when they are not all hex.
        long HexUnitAt(std::string_view text, std::size_t at)
        {
            if (at + 4 > text.size())
                return -1;
            long value = 0;
            for (std::size_t i = at; i < at + 4; i++)
            {
                const char c = text[i];
                if (!IsHexDigit(c))
                    return -1;
                value = value * 16 + (c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
            }
            return value;
        }

        void AppendUnitEscape(std::string& out, char32_t unit)
        {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hexAlphabet[(unit >> shift) & 0xF];
        }

        // One escape, or a pair of them for a character beyond U+FFFF.
        void AppendCodePointEscape(std::string& out, char32_t codePoint)
        {
            if (codePoint < 0x10000)
                return AppendUnitEscape(out, codePoint);
            AppendUnitEscape(out, 0xD800 + ((codePoint - 0x10000) >> 10));
            AppendUnitEscape(out, 0xDC00 + ((codePoint - 0x10000) & 0x3FF));
        }

        // The byte that orders like `c`: lower case, the German letters of Latin-1 as their
        // base letters, compared as signed so that bytes above 0x7F come first.
        constexpr signed char ComputeOrderByte(unsigned char c)
        {
            if ((c >= 'A' && c <= 'Z') || c == 0xC4 || c == 0xD6 || c == 0xDC)
                c += 0x20;
            switch (c)
            {
            case 0xE4: return 'a';
            case 0xF6: return 'o';
            case 0xFC: return 'u';
            case 0xDF: return 's';
            default: return static_cast<signed char>(c);
            }
        }

        // Labels are compared at every render: the order of each byte is looked up.
        signed char OrderByte(unsigned char c)
        {
            static constexpr auto order = [] {
                std::array<signed char, 256> table{};
                for (unsigned int b = 0; b < 256; b++)
                    table[b] = ComputeOrderByte(static_cast<unsigned char>(b));
                return table;
            }();
            return order[c];
        }

        // Reads UTF-8 text as the bytes that ordered it before the library kept UTF-8: a code
        // point up to U+00FF as one byte, a higher one as its "\uxxxx" escape text (two for a
        // character beyond U+FFFF). Labels and sort keys so keep the order they always had.
        class OrderBytes
        {
        public:
            explicit OrderBytes(std::string_view text) : text(text) {}

            bool Next(unsigned char& byte)
            {
                if (pendingAt < pending.size())
                {
                    byte = static_cast<unsigned char>(pending[pendingAt++]);
                    return true;
                }
                if (position == text.size())
                    return false;
                byte = static_cast<unsigned char>(text[position]);
                if (byte < 0x80)
                {
                    position++;
                    return true;
                }
                const char32_t codePoint = UTF8::Next(text, position);
                if (codePoint < 0x100)
                {
                    byte = static_cast<unsigned char>(codePoint);
                    return true;
                }
                pending.clear();
                AppendCodePointEscape(pending, codePoint);
                pendingAt = 1;
                byte = static_cast<unsigned char>(pending[0]);
                return true;
            }

        private:
            std::string_view text;
            std::size_t position = 0;
            std::string pending;
            std::size_t pendingAt = 0;
        };
    }

    void JsonStringTracker::Feed(char c)
    {
        const bool wasEscaped = escaped;
        if (c == '"')
        {
            if (!inString)
                inString = true;
            else if (!wasEscaped)
                inString = false;
        }
        escaped = c == '\\' && inString && !wasEscaped;
    }

    std::string StringHelpers::Replace(std::string text, char find, std::string replacement)
    {
        std::string result;
        for (char c : text)
        {
            if (c == find)
                result += replacement;
            else
                result += c;
        }
        return result;
    }

    std::string StringHelpers::Replace(std::string text, std::string find, std::string replacement)
    {
        if (find.empty())
            return text;
        std::string result;
        std::size_t from = 0;
        for (std::size_t at = text.find(find); at != std::string::npos; at = text.find(find, from))
        {
            result.append(text, from, at - from);
            result += replacement;
            from = at + find.size();
        }
        result.append(text, from, std::string::npos);
        return result;
    }

    std::string StringHelpers::Escape(std::string text)
    {
        std::string result;
        AppendEscaped(result, text);
        return result;
    }

    void StringHelpers::AppendEscaped(std::string& out, std::string_view text)
    {
        // Bytes that stand for themselves in the output, looked up rather than tested.
        static constexpr auto plain = [] {
            std::array<bool, 256> table{};
            for (unsigned int c = 0x20; c < 0x80; c++)
                table[c] = c != '"' && c != '\\';
            return table;
        }();
        std::size_t plainFrom = 0;
        for (std::size_t i = 0; i < text.size();)
        {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (plain[c])
            {
                i++;
                continue;
            }
            out.append(text, plainFrom, i - plainFrom);
            switch (c)
            {
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            default:
                if (c < 0x20)
                    AppendUnitEscape(out, c);
            }
            if (c < 0x80)
                i++;
            else
            {
                // Everything beyond ASCII is written as escapes, so that the text reads
                // the same to any reader, whatever encoding it assumes.
                AppendCodePointEscape(out, UTF8::Next(text, i));
            }
            plainFrom = i;
        }
        out.append(text, plainFrom, std::string_view::npos);
    }

    std::string StringHelpers::Unescape(std::string text)
    {
        std::string result;
        AppendUnescaped(result, text);
        return result;
    }

    void StringHelpers::AppendUnescaped(std::string& out, std::string_view text)
    {
        for (std::size_t i = 0; i < text.size();)
        {
            const char c = text[i];
            if (c != '\\')
            {
                if (static_cast<unsigned char>(c) < 0x80)
                    out += c, i++;
                else
                    UTF8::Append(out, UTF8::Next(text, i));
                continue;
            }
            if (++i == text.size())
                break; // a backslash at the very end is dropped
            switch (text[i])
            {
            case 'b': out += '\b'; i++; break;
            case 'f': out += '\f'; i++; break;
            case 'n': out += '\n'; i++; break;
            case 'r': out += '\r'; i++; break;
            case 't': out += '\t'; i++; break;
            case 'u':
            {
                if (i + 4 >= text.size())
                    throw JsonParsingUTFSequenceException(std::string(text));
                char32_t unit = HexUnit(std::string(text.substr(i + 1, 4)));
                i += 5;
                // A pair of escapes stands for one character beyond U+FFFF; half a pair
                // stands for none.
                const long low = i + 1 < text.size() && text[i] == '\\' && text[i + 1] == 'u' ? HexUnitAt(text, i + 2) : -1;
                if (IsHighSurrogate(unit) && low >= 0 && IsLowSurrogate(static_cast<char32_t>(low)))
                {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(low) - 0xDC00);
                    i += 6;
                }
                UTF8::Append(out, unit);
                break;
            }
            default:
                // Any other character stands for itself, a multi-byte one included.
                if (static_cast<unsigned char>(text[i]) < 0x80)
                    out += text[i++];
                else
                    UTF8::Append(out, UTF8::Next(text, i));
            }
        }
    }

    std::string StringHelpers::GetIndentation(unsigned long depth)
    {
        return std::string(depth * 2, ' ');
    }

    bool StringHelpers::IsNumeric(std::string text, bool allowDecimalPoint)
    {
        std::size_t digits = 0;
        bool seenPoint = false;
        for (std::size_t i = 0; i < text.size(); i++)
        {
            const char c = text[i];
            if (c >= '0' && c <= '9')
                digits++;
            else if (c == '-' && i == 0)
                continue;
            else if (c == '.' && allowDecimalPoint && !seenPoint && digits > 0)
                seenPoint = true;
            else
                return false;
        }
        return digits > 0;
    }

    std::vector<std::string> StringHelpers::SplitString(std::string text, char delimiter)
    {
        return SplitString(std::move(text), std::string(1, delimiter));
    }

    std::vector<std::string> StringHelpers::SplitString(std::string text, std::string delimiter)
    {
        std::vector<std::string> pieces;
        if (text.empty())
            return pieces;
        if (delimiter.empty())
        {
            for (char c : text)
                pieces.emplace_back(1, c);
            return pieces;
        }
        std::size_t from = 0;
        for (std::size_t at = text.find(delimiter); at != std::string::npos; at = text.find(delimiter, from))
        {
            pieces.push_back(text.substr(from, at - from));
            from = at + delimiter.size();
        }
        pieces.push_back(text.substr(from));
        return pieces;
    }

    std::string StringHelpers::MinifyJson(std::string json)
    {
        std::string result;
        result.reserve(json.size());
        JsonStringTracker tracker;
        for (char c : json)
        {
            if (tracker.inString || !IsJsonWhitespace(c))
                result += c;
            tracker.Feed(c);
        }
        if (tracker.inString)
            throw JsonParsingMissingQuotesException();
        return result;
    }

    bool StringHelpers::SortDescriminator_Alphabetically(std::string a, std::string b)
    {
        return CompareForOrder(a, b) > 0;
    }

    int StringHelpers::CompareForOrder(std::string_view a, std::string_view b)
    {
        // ASCII compares byte by byte; the first byte beyond it hands over to the reading
        // that keeps the order of older texts.
        std::size_t i = 0;
        for (; i < a.size() && i < b.size(); i++)
        {
            const unsigned char x = static_cast<unsigned char>(a[i]);
            const unsigned char y = static_cast<unsigned char>(b[i]);
            if (x >= 0x80 || y >= 0x80)
                break;
            const signed char ox = OrderByte(x);
            const signed char oy = OrderByte(y);
            if (ox != oy)
                return ox < oy ? -1 : 1;
        }
        OrderBytes restA(a.substr(i));
        OrderBytes restB(b.substr(i));
        for (;;)
        {
            unsigned char x = 0;
            unsigned char y = 0;
            const bool hasA = restA.Next(x);
            const bool hasB = restB.Next(y);
            if (!hasA || !hasB)
                return static_cast<int>(hasA) - static_cast<int>(hasB);
            const signed char ox = OrderByte(x);
            const signed char oy = OrderByte(y);
            if (ox != oy)
                return ox < oy ? -1 : 1;
        }
    }

    std::string StringHelpers::ToLower(std::string text)
    {
        for (char& c : text)
        {
            const unsigned char u = static_cast<unsigned char>(c);
            if ((u >= 'A' && u <= 'Z') || u == 0xC4 || u == 0xD6 || u == 0xDC)
                c = static_cast<char>(u + 0x20);
        }
        return text;
    }

    char32_t StringHelpers::HexUnit(std::string hexDigits)
    {
        if (hexDigits.size() != 4)
            throw JsonParsingUTFSequenceException(hexDigits);
        const std::string lower = ToLower(hexDigits);
        for (char c : lower)
            if (hexAlphabet.find(c) == std::string::npos)
                throw JsonParsingUTFSequenceException(lower);
        return static_cast<char32_t>(Helpers::BaseX_2_10(lower, hexAlphabet));
    }

    std::string StringHelpers::ParseUTF8(std::string hexDigits)
    {
        std::string text;
        UTF8::Append(text, HexUnit(std::move(hexDigits)));
        return text;
    }

    std::string StringHelpers::EscapeUTF8(char byte)
    {
        std::string escape;
        AppendUnitEscape(escape, static_cast<unsigned char>(byte));
        return escape;
    }
}
