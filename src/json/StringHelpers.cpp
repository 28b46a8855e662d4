#include "json/StringHelpers.h"
#include "json/Helpers.h"
#include "json/JsonExceptions.h"

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

        // A backslash that starts "\uXXXX" above 0x00FF is the library's own text for a
        // code point it cannot hold in one byte, so it is written as it stands.
        bool StartsWideEscape(const std::string& text, std::size_t i)
        {
            if (i + 5 >= text.size() || text[i + 1] != 'u')
                return false;
            for (std::size_t k = i + 2; k <= i + 5; k++)
                if (!IsHexDigit(text[k]))
                    return false;
            return StringHelpers::ToLower(text.substr(i + 2, 2)) != "00";
        }

        char FoldGerman(char c)
        {
            switch (static_cast<unsigned char>(c))
            {
            case 0xE4: return 'a';
            case 0xF6: return 'o';
            case 0xFC: return 'u';
            case 0xDF: return 's';
            default: return c;
            }
        }
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
        for (std::size_t i = 0; i < text.size(); i++)
        {
            const char c = text[i];
            switch (c)
            {
            case '\b': result += "\\b"; break;
            case '\t': result += "\\t"; break;
            case '\n': result += "\\n"; break;
            case '\f': result += "\\f"; break;
            case '\r': result += "\\r"; break;
            case '"': result += "\\\""; break;
            case '\\': result += StartsWideEscape(text, i) ? "\\" : "\\\\"; break;
            default:
                if (static_cast<unsigned char>(c) >= 0x80)
                    result += EscapeUTF8(c);
                else
                    result += c;
            }
        }
        return result;
    }

    std::string StringHelpers::Unescape(std::string text)
    {
        std::string result;
        bool escaping = false;
        for (std::size_t i = 0; i < text.size(); i++)
        {
            const char c = text[i];
            if (!escaping)
            {
                if (c == '\\')
                    escaping = true;
                else
                    result += c;
                continue;
            }
            escaping = false;
            switch (c)
            {
            case 'b': result += '\b'; break;
            case 'f': result += '\f'; break;
            case 'n': result += '\n'; break;
            case 'r': result += '\r'; break;
            case 't': result += '\t'; break;
            case 'u':
                if (i + 4 >= text.size())
                    throw JsonParsingUTFSequenceException(text);
                result += ParseUTF8(text.substr(i + 1, 4));
                i += 4;
                break;
            default: result += c;
            }
        }
        return result;
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
        a = ToLower(std::move(a));
        b = ToLower(std::move(b));
        const std::size_t common = Helpers::Min<std::size_t>(a.size(), b.size());
        for (std::size_t i = 0; i < common; i++)
        {
            const signed char x = static_cast<signed char>(FoldGerman(a[i]));
            const signed char y = static_cast<signed char>(FoldGerman(b[i]));
            if (x != y)
                return x > y;
        }
        return a.size() > b.size();
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

    std::string StringHelpers::ParseUTF8(std::string hexDigits)
    {
        if (hexDigits.size() != 4)
            throw JsonParsingUTFSequenceException(hexDigits);
        const std::string lower = ToLower(hexDigits);
        for (char c : lower)
            if (hexAlphabet.find(c) == std::string::npos)
                throw JsonParsingUTFSequenceException(lower);

        const unsigned long long value = Helpers::BaseX_2_10(lower, hexAlphabet);
        if (value > 0xFF)
            return "\\u" + lower;
        return std::string(1, static_cast<char>(value));
    }

    std::string StringHelpers::EscapeUTF8(char byte)
    {
        return "\\u" + Helpers::Base10_2_X(static_cast<unsigned char>(byte), hexAlphabet, 4);
    }
}
