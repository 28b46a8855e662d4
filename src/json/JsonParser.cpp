#include "json/JsonParser.h"
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_set>
#include "json/JsonData.h"
#include "json/JsonExceptions.h"
#include "json/Jstring.h"
#include "json/StringHelpers.h"

namespace Ostrel::Internal
{
    namespace
    {
        // Strings and bracket depths at one position of a scan; the depths count only
        // brackets outside strings.
        struct BracketScan
        {
            JsonStringTracker strings;
            long square = 0;
            long curly = 0;

            bool Outside() const { return !strings.inString; }

            void Feed(char c)
            {
                if (Outside())
                {
                    square += (c == '[') - (c == ']');
                    curly += (c == '{') - (c == '}');
                }
                strings.Feed(c);
            }
        };

        JsonParsingGeneralException NestingError()
        {
            return JsonParsingGeneralException("Blocks and arrays are nested deeper than the limit of " +
                                               Jstring(static_cast<int>(JsonParser::maxNesting)) + " levels!");
        }

        JsonParsingGeneralException CommaError(std::size_t position)
        {
            return JsonParsingGeneralException("Fucked up a comma around position " + Jstring(static_cast<long long>(position)));
        }

        bool MayBeNumber(char first)
        {
            return first == '-' || (first >= '0' && first <= '9');
        }

        bool IsDigit(char c)
        {
            return c >= '0' && c <= '9';
        }

        // A number as JSON writes it, with leading zeros and a point without digits after
        // it also taken: -?digits(.digits*)?([eE][+-]?digits)?. `integral` tells whether it
        // has neither a point nor an exponent.
        bool IsNumberText(std::string_view text, bool& integral)
        {
            std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
            const std::size_t digitsFrom = i;
            while (i < text.size() && IsDigit(text[i]))
                i++;
            if (i == digitsFrom)
                return false;
            integral = true;
            if (i < text.size() && text[i] == '.')
            {
                integral = false;
                for (i++; i < text.size() && IsDigit(text[i]);)
                    i++;
            }
            if (i < text.size() && (text[i] == 'e' || text[i] == 'E'))
            {
                integral = false;
                if (++i < text.size() && (text[i] == '+' || text[i] == '-'))
                    i++;
                const std::size_t exponentFrom = i;
                while (i < text.size() && IsDigit(text[i]))
                    i++;
                if (i == exponentFrom)
                    return false;
            }
            return i == text.size();
        }

        // Sets `into` to the number `text` stands for; false when it is not a number. An
        // integer beyond 64 bits becomes a FLOAT.
        bool ParseNumber(JsonData& into, std::string_view text)
        {
            bool integral = false;
            if (!IsNumberText(text, integral))
                return false;
            long long value = 0;
            if (integral && std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc())
            {
                into.SetIntData(value);
                return true;
            }
            const std::string number(text);
            errno = 0;
            const long double floating = std::strtold(number.c_str(), nullptr);
            if (errno == ERANGE)
                throw JsonParsingGeneralException(
                    "std::stold failed because the number found was too large for a long double! Value was \"" + number + "\"");
            into.SetFloatData(floating);
            return true;
        }
    }

    void JsonParser::CheckNesting(std::string_view text)
    {
        BracketScan scan;
        for (const char c : text)
        {
            scan.Feed(c);
            if (scan.square + scan.curly > static_cast<long>(maxNesting))
                throw NestingError();
        }
    }

    void JsonParser::ParseValue(JsonData& into, std::string_view text, std::string_view asPassed, unsigned int depth)
    {
        if (text.empty())
            throw JsonParsingGeneralException("JsonData-Parser got json code snippet of length 0!");
        if (text == "null")
            return into.SetNull();
        if (text == "true" || text == "false")
            return into.SetBoolData(text == "true");
        if (MayBeNumber(text.front()) && ParseNumber(into, text))
            return;

        if (text.front() == '"')
        {
            if (text.size() < 2 || text.back() != '"')
                throw JsonParsingMissingBracketsException();
            return into.SetStringData(StringHelpers::Unescape(std::string(text.substr(1, text.size() - 2))));
        }
        if (text.front() == '{' || text.front() == '[')
        {
            if (depth >= maxNesting)
                throw NestingError();
            if (text.front() == '{')
            {
                auto block = std::make_unique<JsonBlock>();
                ParseBlock(*block, text, depth + 1);
                into.SetJsonDataAsPointer(block.release());
            }
            else
            {
                auto array = std::make_unique<JsonArray>();
                ParseArray(*array, text, depth + 1);
                into.SetArrayDataAsPointer(array.release());
            }
            return;
        }
        throw JsonParsingUnrecognizableDatatypeException(std::string(asPassed));
    }

    void JsonParser::ParseBlock(JsonBlock& into, std::string_view text, unsigned int depth)
    {
        std::vector<std::string_view> memberTexts;
        BracketScan scan;
        bool capturing = false;
        bool pendingComma = false;
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size(); i++)
        {
            const char c = text[i];
            const bool atTopLevel = scan.Outside() && scan.square == 0 && scan.curly == 1;
            if (atTopLevel && !capturing)
            {
                if (c == '"')
                {
                    start = i;
                    capturing = true;
                    pendingComma = false;
                }
                else if (c == ',')
                    throw CommaError(i);
            }
            else if (atTopLevel && capturing && (c == ',' || c == '}'))
            {
                capturing = false;
                if (c == ',')
                    pendingComma = true;
                if (i - start < 4)
                    throw CommaError(start);
                memberTexts.push_back(text.substr(start, i - start));
            }
            if (scan.Outside() && c == '}' && scan.curly == 1 && i + 1 != text.size())
                throw JsonParsingExpectedEOFException(std::string(text.substr(i)));
            scan.Feed(c);
        }

        if (scan.square != 0 || scan.curly != 0)
            throw JsonParsingMissingBracketsException();
        if (pendingComma)
            throw JsonParsingGeneralException("Unexpected EOF. Don't put a comma after the last value of a json block!");
        if (memberTexts.empty() && text.size() >= 3)
            throw JsonParsingGeneralException("Found no members in json block, but code is too long for no members");

        // A set keeps the duplicate check linear for large blocks.
        std::unordered_set<std::string> labels;
        for (const JsonElement* existing : *into.elements)
            labels.insert(existing->label);
        std::vector<std::unique_ptr<JsonElement>> members;
        for (std::string_view memberText : memberTexts)
        {
            auto member = std::make_unique<JsonElement>("");
            ParseElement(*member, memberText, depth);
            if (!labels.insert(member->label).second)
                throw JsonParsingDuplicateLabelException(member->label);
            members.push_back(std::move(member));
        }
        into.elements->reserve(into.elements->size() + members.size());
        for (std::unique_ptr<JsonElement>& member : members)
            into.Append(member.release());
    }

    void JsonParser::ParseElement(JsonElement& into, std::string_view text, unsigned int depth)
    {
        const std::size_t open = text.find('"');
        if (open == std::string_view::npos)
            throw JsonParsingMissingQuotesException();
        JsonStringTracker strings;
        std::size_t close = open;
        do
            strings.Feed(text[close++]);
        while (strings.inString && close < text.size());
        if (strings.inString)
            throw JsonParsingMissingQuotesException();
        close--; // the label's closing quote

        std::string label = StringHelpers::Unescape(std::string(text.substr(open + 1, close - open - 1)));
        const char afterLabel = close + 1 < text.size() ? text[close + 1] : '\0';
        if (afterLabel != ':')
            throw JsonParsingGeneralException(std::string("Expected ':', got '") + afterLabel + "'!");
        const std::string_view valueText = text.substr(close + 2);
        ParseValue(*into.data, valueText, valueText, depth);
        into.label = std::move(label);
    }

    void JsonParser::ParseArray(JsonArray& into, std::string_view text, unsigned int depth)
    {
        if (text.empty())
            throw JsonParsingGeneralException("JsonArray-Parser got json code snippet of length 0!");

        std::vector<std::string_view> itemTexts;
        BracketScan scan;
        bool capturing = false;
        bool pending = false;
        std::size_t start = 0;
        for (std::size_t i = 0; i < text.size(); i++)
        {
            const char c = text[i];
            const bool last = i + 1 == text.size();
            const bool atTopLevel = scan.Outside() && scan.square == 1 && scan.curly == 0;
            if (atTopLevel && !capturing && !last)
            {
                // Whatever stands here starts an item, a stray comma included.
                start = i;
                capturing = true;
                pending = true;
            }
            else if (atTopLevel && capturing && (c == ',' || last))
            {
                itemTexts.push_back(text.substr(start, i - start));
                capturing = false;
                if (c != ',')
                    pending = false;
            }
            if (scan.Outside() && c == ']' && scan.square == 1 && !last)
                throw JsonParsingExpectedEOFException(std::string(text.substr(i)));
            scan.Feed(c);
        }

        if (scan.square != 0 || scan.curly != 0)
            throw JsonParsingMissingBracketsException();
        if (pending)
            throw JsonParsingGeneralException("Unexpected EOF. Don't put a comma after the last value of a json array!");

        std::vector<std::unique_ptr<JsonData>> items;
        for (std::string_view itemText : itemTexts)
        {
            auto item = std::make_unique<JsonData>();
            ParseValue(*item, itemText, itemText, depth);
            items.push_back(std::move(item));
        }
        into.Clear();
        into.GetVector()->reserve(items.size());
        for (std::unique_ptr<JsonData>& item : items)
            into.InsertExistingtJsonData(item.release());
    }
}
