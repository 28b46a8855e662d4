#pragma once
// The parser's meaning, transcribed plainly: every level minifies its text, scans all of it
// to cut its members or items, then hands each piece down (cost: size times depth). The
// product reads texts otherwise, in linear time; tests and the fuzzer compare it with this.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>
#include "json/Json.h"
#include "json/JsonParser.h"

namespace SplitterOracle
{
    using namespace Ostrel;
    using Internal::JsonStringTracker;
    using Internal::StringHelpers;

    // Strings and bracket depths before the current character of a scan.
    struct Scan
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

    inline JsonParsingGeneralException General(const std::string& comment)
    {
        return JsonParsingGeneralException(comment);
    }

    inline JsonParsingGeneralException NestingError()
    {
        return General("Blocks and arrays are nested deeper than the limit of 512 levels!");
    }

    // -?digits(.digits*)?([eE][+-]?digits)?
    inline bool IsNumber(std::string_view t, bool& integral)
    {
        std::size_t i = 0;
        const auto digits = [&] {
            const std::size_t from = i;
            while (i < t.size() && t[i] >= '0' && t[i] <= '9')
                i++;
            return i > from;
        };
        if (i < t.size() && t[i] == '-')
            i++;
        if (!digits())
            return false;
        integral = true;
        if (i < t.size() && t[i] == '.')
        {
            i++;
            digits();
            integral = false;
        }
        if (i < t.size() && (t[i] == 'e' || t[i] == 'E'))
        {
            i++;
            if (i < t.size() && (t[i] == '+' || t[i] == '-'))
                i++;
            if (!digits())
                return false;
            integral = false;
        }
        return i == t.size();
    }

    inline JsonData Value(std::string_view t, std::string_view asPassed, unsigned int depth);

    inline JsonElement Element(std::string_view t, unsigned int depth)
    {
        const std::size_t open = t.find('"');
        if (open == std::string_view::npos)
            throw JsonParsingMissingQuotesException();
        JsonStringTracker strings;
        std::size_t close = open;
        do
            strings.Feed(t[close++]);
        while (strings.inString && close < t.size());
        if (strings.inString)
            throw JsonParsingMissingQuotesException();
        close--;
        const std::string label = StringHelpers::Unescape(std::string(t.substr(open + 1, close - open - 1)));
        const char after = close + 1 < t.size() ? t[close + 1] : '\0';
        if (after != ':')
            throw General(std::string("Expected ':', got '") + after + "'!");
        const std::string_view value = t.substr(close + 2);
        return JsonElement(label, Value(value, value, depth));
    }

    // The members of block text `t`, to be appended to a block holding `existing`.
    inline std::vector<JsonElement> Block(std::string_view t, unsigned int depth, const std::unordered_set<std::string>& existing)
    {
        std::vector<std::string_view> pieces;
        Scan scan;
        bool capturing = false;
        bool pendingComma = false;
        std::size_t start = 0;
        for (std::size_t i = 0; i < t.size(); i++)
        {
            const char c = t[i];
            const bool top = scan.Outside() && scan.square == 0 && scan.curly == 1;
            if (top && !capturing)
            {
                if (c == '"')
                {
                    start = i;
                    capturing = true;
                    pendingComma = false;
                }
                else if (c == ',')
                    throw General("Fucked up a comma around position " + std::to_string(i));
            }
            else if (top && capturing && (c == ',' || c == '}'))
            {
                capturing = false;
                pendingComma = c == ',';
                if (i - start < 4)
                    throw General("Fucked up a comma around position " + std::to_string(start));
                pieces.push_back(t.substr(start, i - start));
            }
            if (scan.Outside() && c == '}' && scan.curly == 1 && i + 1 != t.size())
                throw JsonParsingExpectedEOFException(std::string(t.substr(i)));
            scan.Feed(c);
        }
        if (scan.square != 0 || scan.curly != 0)
            throw JsonParsingMissingBracketsException();
        if (pendingComma)
            throw General("Unexpected EOF. Don't put a comma after the last value of a json block!");
        if (pieces.empty() && t.size() >= 3)
            throw General("Found no members in json block, but code is too long for no members");
        std::unordered_set<std::string> labels = existing;
        std::vector<JsonElement> members;
        for (std::string_view piece : pieces)
        {
            JsonElement member = Element(piece, depth);
            if (!labels.insert(member.GetLabel()).second)
                throw JsonParsingDuplicateLabelException(member.GetLabel());
            members.push_back(std::move(member));
        }
        return members;
    }

    inline std::vector<JsonData> Array(std::string_view t, unsigned int depth)
    {
        if (t.empty())
            throw General("JsonArray-Parser got json code snippet of length 0!");
        std::vector<std::string_view> pieces;
        Scan scan;
        bool capturing = false;
        bool pending = false;
        std::size_t start = 0;
        for (std::size_t i = 0; i < t.size(); i++)
        {
            const char c = t[i];
            const bool last = i + 1 == t.size();
            const bool top = scan.Outside() && scan.square == 1 && scan.curly == 0;
            if (top && !capturing && !last)
            {
                start = i;
                capturing = true;
                pending = true;
            }
            else if (top && capturing && (c == ',' || last))
            {
                pieces.push_back(t.substr(start, i - start));
                capturing = false;
                if (c != ',')
                    pending = false;
            }
            if (scan.Outside() && c == ']' && scan.square == 1 && !last)
                throw JsonParsingExpectedEOFException(std::string(t.substr(i)));
            scan.Feed(c);
        }
        if (scan.square != 0 || scan.curly != 0)
            throw JsonParsingMissingBracketsException();
        if (pending)
            throw General("Unexpected EOF. Don't put a comma after the last value of a json array!");
        std::vector<JsonData> items;
        for (std::string_view piece : pieces)
            items.push_back(Value(piece, piece, depth));
        return items;
    }

    inline JsonData Value(std::string_view t, std::string_view asPassed, unsigned int depth)
    {
        if (t.empty())
            throw General("JsonData-Parser got json code snippet of length 0!");
        if (t == "null")
            return JsonData();
        if (t == "true" || t == "false")
            return JsonData(t == "true");
        bool integral = false;
        if (IsNumber(t, integral))
        {
            const std::string number(t);
            if (integral)
            {
                errno = 0;
                const long long value = std::strtoll(number.c_str(), nullptr, 10);
                if (errno != ERANGE)
                    return JsonData(value);
            }
            errno = 0;
            const long double value = std::strtold(number.c_str(), nullptr);
            if (errno == ERANGE)
                throw General("std::stold failed because the number found was too large for a long double! Value was \"" +
                              number + "\"");
            return JsonData(value);
        }
        if (t.front() == '"')
        {
            if (t.size() < 2 || t.back() != '"')
                throw JsonParsingMissingBracketsException();
            return JsonData(StringHelpers::Unescape(std::string(t.substr(1, t.size() - 2))));
        }
        if (t.front() == '{' || t.front() == '[')
        {
            if (depth >= 512)
                throw NestingError();
            if (t.front() == '[')
                return JsonData(Array(t, depth + 1));
            JsonBlock block;
            for (JsonElement& member : Block(t, depth + 1, {}))
                block.Add(std::move(member));
            return JsonData(std::move(block));
        }
        throw JsonParsingUnrecognizableDatatypeException(std::string(asPassed));
    }

    // JsonData::Parse.
    inline JsonData Parse(const std::string& text)
    {
        const std::string t = StringHelpers::MinifyJson(text);
        Scan scan;
        for (const char c : t)
        {
            scan.Feed(c);
            if (scan.square + scan.curly > 512)
                throw NestingError();
        }
        return Value(t, text, 0);
    }

    // JsonBlock::Parse into a copy of `block`.
    inline JsonBlock ParseBlock(JsonBlock block, const std::string& text)
    {
        std::unordered_set<std::string> existing;
        const std::unique_ptr<std::vector<JsonElement*>> members(block.GetElementsSortedByLabel());
        for (const JsonElement* member : *members)
            existing.insert(member->GetLabel());
        for (JsonElement& member : Block(StringHelpers::MinifyJson(text), 1, existing))
            block.Add(std::move(member));
        return block;
    }

    // JsonArray::Parse.
    inline JsonArray ParseArray(const std::string& text)
    {
        return JsonArray(Array(StringHelpers::MinifyJson(text), 1));
    }

    // JsonElement::Parse.
    inline JsonElement ParseElement(const std::string& text)
    {
        return Element(StringHelpers::MinifyJson(text), 1);
    }
}
