#include "json/JsonParser.h"
#include <functional>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>
#include "json/JsonData.h"
#include "json/JsonExceptions.h"
#include "json/Jstring.h"
#include "json/StringHelpers.h"

namespace Ostrel::Internal
{
    namespace
    {
        JsonParsingGeneralException NestingError()
        {
            return JsonParsingGeneralException("Blocks and arrays are nested deeper than the limit of " +
                                               Jstring(static_cast<int>(JsonParser::maxNesting)) + " levels!");
        }

        JsonParsingGeneralException CommaError(std::size_t position)
        {
            return JsonParsingGeneralException("Fucked up a comma around position " + Jstring(static_cast<long long>(position)));
        }

        bool IsDigit(char c)
        {
            return c >= '0' && c <= '9';
        }

        bool IsSpace(char c)
        {
            return c == ' ' || c == '\t' || c == '\n' || c == '\r';
        }

        bool IsHex(char c)
        {
            return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        }

        // The length of the number that `text` starts with, 0 if none: JSON's numbers, with
        // leading zeros and a point without digits after it also taken,
        // -?digits(.digits*)?([eE][+-]?digits)?. `integral` tells whether it has neither a
        // point nor an exponent.
        std::size_t ScanNumber(std::string_view text, bool& integral)
        {
            std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
            const std::size_t digitsFrom = i;
            while (i < text.size() && IsDigit(text[i]))
                i++;
            if (i == digitsFrom)
                return 0;
            integral = true;
            if (i < text.size() && text[i] == '.')
            {
                integral = false;
                for (i++; i < text.size() && IsDigit(text[i]);)
                    i++;
            }
            if (i < text.size() && (text[i] == 'e' || text[i] == 'E'))
            {
                std::size_t exponent = i + 1;
                if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
                    exponent++;
                const std::size_t exponentDigits = exponent;
                while (exponent < text.size() && IsDigit(text[exponent]))
                    exponent++;
                if (exponent > exponentDigits)
                {
                    integral = false;
                    i = exponent;
                }
            }
            return i;
        }

        // Sets `into` to a number that ScanNumber took whole: an INT when it is integral and
        // fits 64 bits, else a FLOAT. False when it is beyond the range of a long double.
        bool ReadNumber(JsonData& into, std::string_view number, bool integral)
        {
            long long value = 0;
            const std::from_chars_result integer = std::from_chars(number.data(), number.data() + number.size(), value);
            if (integral && integer.ec == std::errc())
            {
                into.SetIntData(value);
                return true;
            }
            const std::string text(number);
            errno = 0;
            const long double floating = std::strtold(text.c_str(), nullptr);
            if (errno == ERANGE)
                return false;
            into.SetFloatData(floating);
            return true;
        }

        JsonParsingGeneralException OutOfRange(std::string_view number)
        {
            return JsonParsingGeneralException(
                "std::stold failed because the number found was too large for a long double! Value was \"" +
                std::string(number) + "\"");
        }

        // Square and curly bracket depths outside strings, before some position.
        struct Depths
        {
            long square = 0;
            long curly = 0;

            bool operator==(const Depths& other) const = default;

            // The depths after `c`, which stands outside strings.
            Depths After(char c) const
            {
                return {square + (c == '[') - (c == ']'), curly + (c == '{') - (c == '}')};
            }
        };
    }

    // The plain JSON grammar, whitespace only between tokens, read in one pass straight into
    // the tree. It gives up (false) on anything else: a text it takes is one the splitter
    // cuts into exactly its members and items, with no error, so both read it alike.
    class JsonParser::StrictParser
    {
    public:
        explicit StrictParser(std::string_view text) : at(text.data()), end(text.data() + text.size()) {}
        // Items of an array that is the whole document go to `take` as soon as they are read,
        // instead of into the array.
        StrictParser(std::string_view text, const std::function<void(JsonData&)>& take)
            : at(text.data()), end(text.data() + text.size()), topItems(&take)
        {
        }

        // What a read that gave up leaves unowned.
        ~StrictParser()
        {
            for (JsonElement* member : members)
                delete member;
            for (JsonData* item : items)
                delete item;
        }

        // `into` is a fresh value; what it holds after a false answer is of no use.
        bool Document(JsonData& into)
        {
            SkipSpace();
            if (!Value(into, 0))
                return false;
            SkipSpace();
            return at == end;
        }

    private:
        void SkipSpace()
        {
            while (at < end && IsSpace(*at))
                at++;
        }

        bool Take(char c)
        {
            if (at == end || *at != c)
                return false;
            at++;
            return true;
        }

        bool Word(std::string_view word)
        {
            if (static_cast<std::size_t>(end - at) < word.size() || std::memcmp(at, word.data(), word.size()) != 0)
                return false;
            at += word.size();
            return true;
        }

        // `open` blocks and arrays enclose the value.
        bool Value(JsonData& into, unsigned int open)
        {
            if (at == end)
                return false;
            switch (*at)
            {
            case '{': return open < maxNesting && Block(into, open + 1);
            case '[': return open < maxNesting && Array(into, open + 1);
            case '"':
                into.dataType = STRING;
                return String(into.stringData);
            case 't':
                into.SetBoolData(true);
                return Word("true");
            case 'f':
                into.SetBoolData(false);
                return Word("false");
            case 'n':
                into.SetNull();
                return Word("null");
            default: return Number(into);
            }
        }

        // The block of `into`, which owns it from the start.
        bool Block(JsonData& into, unsigned int open)
        {
            JsonBlock& block = *into.SetJsonDataAsPointer(new JsonBlock());
            at++;
            SkipSpace();
            if (Take('}'))
                return true;
            const std::size_t first = members.size();
            std::unordered_set<std::string_view> labels;
            for (;;)
            {
                if (at == end || *at != '"')
                    return false;
                JsonElement* member = new JsonElement(std::string());
                members.push_back(member);
                if (!String(member->label) || !IsNewLabel(first, labels))
                    return false;
                SkipSpace();
                if (!Take(':'))
                    return false;
                SkipSpace();
                if (!Value(*member->data, open))
                    return false;
                SkipSpace();
                if (Take('}'))
                    break;
                if (!Take(','))
                    return false;
                SkipSpace();
            }
            block.elements->assign(members.begin() + static_cast<std::ptrdiff_t>(first), members.end());
            members.resize(first);
            block.SetAssociatedJsonDataNode(&into);
            return true;
        }

        // Whether the last member's label differs from those of the block's members before
        // it (from `first` on): a scan for the usual few, a set once a block grows.
        bool IsNewLabel(std::size_t first, std::unordered_set<std::string_view>& labels) const
        {
            constexpr std::size_t few = 16;
            const std::string& label = members.back()->label;
            const auto begin = members.begin() + static_cast<std::ptrdiff_t>(first);
            const auto last = members.end() - 1;
            if (members.size() - first <= few)
                return std::none_of(begin, last, [&label](const JsonElement* member) { return member->label == label; });
            if (labels.empty())
                for (auto member = begin; member != last; ++member)
                    labels.insert((*member)->label);
            return labels.insert(label).second;
        }

        bool Array(JsonData& into, unsigned int open)
        {
            JsonArray& array = *into.SetArrayDataAsPointer(new JsonArray());
            at++;
            SkipSpace();
            if (Take(']'))
                return true;
            const std::size_t first = items.size();
            for (;;)
            {
                JsonData* item = new JsonData();
                items.push_back(item);
                if (!Value(*item, open))
                    return false;
                if (topItems != nullptr && open == 1)
                {
                    (*topItems)(*item);
                    delete item;
                    items.pop_back();
                }
                SkipSpace();
                if (Take(']'))
                    break;
                if (!Take(','))
                    return false;
                SkipSpace();
            }
            array.GetVector()->assign(items.begin() + static_cast<std::ptrdiff_t>(first), items.end());
            items.resize(first);
            array.SetAssociatedJsonDataNode(&into);
            return true;
        }

        // A string whose "\u" escapes all have their four hex digits.
        bool String(std::string& out)
        {
            const char* from = ++at;
            bool plain = true;
            while (at < end && *at != '"')
            {
                if (*at == '\\')
                {
                    plain = false;
                    if (end - at < 2)
                        return false;
                    if (at[1] != 'u')
                        at += 2;
                    else if (end - at >= 6 && IsHex(at[2]) && IsHex(at[3]) && IsHex(at[4]) && IsHex(at[5]))
                        at += 6;
                    else
                        return false;
                    continue;
                }
                plain = plain && static_cast<unsigned char>(*at) < 0x80;
                at++;
            }
            if (at == end)
                return false;
            const std::string_view content(from, static_cast<std::size_t>(at - from));
            at++;
            if (plain)
                out.assign(content);
            else
                StringHelpers::AppendUnescaped(out, content);
            return true;
        }

        bool Number(JsonData& into)
        {
            bool integral = false;
            const std::size_t length = ScanNumber(std::string_view(at, static_cast<std::size_t>(end - at)), integral);
            if (length == 0)
                return false;
            const std::string_view number(at, length);
            at += length;
            return ReadNumber(into, number, integral);
        }

        const char* at;

        const std::function<void(JsonData&)>* topItems = nullptr;
        const char* end;
        // The members and items of the open blocks and arrays, outermost first: each gets
        // its vector once it is complete, in one allocation.
        std::vector<JsonElement*> members;
        std::vector<JsonData*> items;
    };

    // The splitter's levels over one minified text. A level is a piece of the text with the
    // bracket depths before it; the depths at which its own members or items stand are its
    // top. It acts only on the quotes, commas and closing brackets outside strings that stand
    // at its top, and on the closing brackets of its own kind at any depth of the other kind;
    // indexed by their depths, those are found without reading the levels below. A position
    // belongs so to at most one level, and the whole read stays linear.
    class JsonParser::Splitter
    {
    public:
        explicit Splitter(std::string_view minified) : text(minified)
        {
            JsonStringTracker strings;
            std::uint64_t lastKey = ~std::uint64_t(0);
            std::vector<std::size_t>* lastMarks = nullptr;
            for (std::size_t i = 0; i < text.size(); i++)
            {
                const char c = text[i];
                if (!strings.inString)
                {
                    if ((c == '"' || c == ',') && final.square >= 0 && final.curly >= 0)
                    {
                        if (Key(final) != lastKey)
                        {
                            lastKey = Key(final);
                            lastMarks = &marks[lastKey];
                        }
                        lastMarks->push_back(i);
                    }
                    else if (c == '}' && final.curly >= 1)
                        closingCurly[final.curly].push_back({i, final.square});
                    else if (c == ']' && final.square >= 1)
                        closingSquare[final.square].push_back({i, final.curly});
                    final = final.After(c);
                }
                strings.Feed(c);
            }
        }

        // The depths after the whole text.
        Depths Final() const
        {
            return final;
        }

        // `asPassed` is the text an unrecognisable value is quoted with; `base` and `end` the
        // depths before `from` and `to`; `depth` the number of enclosing levels.
        void Value(JsonData& into, std::size_t from, std::size_t to, Depths base, Depths end, std::string_view asPassed,
                   unsigned int depth) const
        {
            const std::string_view value = text.substr(from, to - from);
            if (value.empty())
                throw JsonParsingGeneralException("JsonData-Parser got json code snippet of length 0!");
            if (value == "null")
                return into.SetNull();
            if (value == "true" || value == "false")
                return into.SetBoolData(value == "true");
            bool integral = false;
            if ((value.front() == '-' || IsDigit(value.front())) && ScanNumber(value, integral) == value.size())
            {
                if (!ReadNumber(into, value, integral))
                    throw OutOfRange(value);
                return;
            }
            if (value.front() == '"')
            {
                if (value.size() < 2 || value.back() != '"')
                    throw JsonParsingMissingBracketsException();
                std::string content;
                StringHelpers::AppendUnescaped(content, value.substr(1, value.size() - 2));
                return into.SetStringData(std::move(content));
            }
            if (value.front() == '{' || value.front() == '[')
            {
                if (depth >= maxNesting)
                    throw NestingError();
                if (value.front() == '{')
                {
                    auto block = std::make_unique<JsonBlock>();
                    Block(*block, from, to, base, end, depth + 1);
                    into.SetJsonDataAsPointer(block.release());
                }
                else
                {
                    auto array = std::make_unique<JsonArray>();
                    Array(*array, from, to, base, end, from + 1, depth + 1);
                    into.SetArrayDataAsPointer(array.release());
                }
                return;
            }
            throw JsonParsingUnrecognizableDatatypeException(std::string(asPassed));
        }

        // Appends the members of the block text [from, to) to `into`.
        void Block(JsonBlock& into, std::size_t from, std::size_t to, Depths base, Depths end, unsigned int depth) const
        {
            const Depths top{base.square, base.curly + 1};
            const std::vector<std::size_t>& tops = MarksAt(top);
            const std::vector<Closer>& closers = ClosersAt(closingCurly, top.curly);
            auto mark = std::lower_bound(tops.begin(), tops.end(), from);
            auto closer = FirstCloser(closers, from);

            std::vector<std::pair<std::size_t, std::size_t>> pieces;
            bool capturing = false;
            bool pendingComma = false;
            std::size_t start = 0;
            const auto endMember = [&](std::size_t i) {
                capturing = false;
                pendingComma = text[i] == ',';
                if (i - start < 4)
                    throw CommaError(start - from);
                pieces.emplace_back(start, i);
            };
            for (;;)
            {
                const std::size_t atMark = mark != tops.end() && *mark < to ? *mark : to;
                const std::size_t atCloser = closer != closers.end() && closer->position < to ? closer->position : to;
                if (atMark == to && atCloser == to)
                    break;
                if (atMark < atCloser)
                {
                    if (capturing && text[atMark] == ',')
                        endMember(atMark);
                    else if (!capturing && text[atMark] == ',')
                        throw CommaError(atMark - from);
                    else if (!capturing)
                    {
                        start = atMark;
                        capturing = true;
                        pendingComma = false;
                    }
                    ++mark;
                    continue;
                }
                if (capturing && closer->otherDepth == top.square)
                    endMember(atCloser);
                if (atCloser + 1 != to)
                    throw JsonParsingExpectedEOFException(std::string(text.substr(atCloser, to - atCloser)));
                ++closer;
            }

            if (!(end == base))
                throw JsonParsingMissingBracketsException();
            if (pendingComma)
                throw JsonParsingGeneralException("Unexpected EOF. Don't put a comma after the last value of a json block!");
            if (pieces.empty() && to - from >= 3)
                throw JsonParsingGeneralException("Found no members in json block, but code is too long for no members");

            std::unordered_set<std::string> labels;
            for (const JsonElement* existing : *into.elements)
                labels.insert(existing->label);
            std::vector<std::unique_ptr<JsonElement>> members;
            for (const auto& [memberFrom, memberTo] : pieces)
            {
                auto member = std::make_unique<JsonElement>("");
                Element(*member, memberFrom, memberTo, top, top, depth);
                if (!labels.insert(member->label).second)
                    throw JsonParsingDuplicateLabelException(member->label);
                members.push_back(std::move(member));
            }
            into.elements->reserve(into.elements->size() + members.size());
            for (std::unique_ptr<JsonElement>& member : members)
                into.Append(member.release());
        }

        // Replaces the items of `into` with those of the array text [from, to), whose first
        // position at its top is `firstTop`.
        void Array(JsonArray& into, std::size_t from, std::size_t to, Depths base, Depths end, std::size_t firstTop,
                   unsigned int depth) const
        {
            if (from == to)
                throw JsonParsingGeneralException("JsonArray-Parser got json code snippet of length 0!");
            const Depths top{base.square + 1, base.curly};
            const std::size_t last = to - 1;
            // A text ends outside strings: its last character is outside one too unless it
            // is the quote that closes one.
            const char lastCharacter = text[last];
            const bool lastAtTop = lastCharacter != '"' && end == Depths{top.square, top.curly}.After(lastCharacter);
            const std::vector<std::size_t>& tops = MarksAt(top);
            const std::vector<Closer>& closers = ClosersAt(closingSquare, top.square);
            auto mark = std::lower_bound(tops.begin(), tops.end(), from);
            auto closer = FirstCloser(closers, from);

            std::vector<std::pair<std::size_t, std::size_t>> pieces;
            bool capturing = false;
            bool pending = false;
            std::size_t start = to;
            // What happens at a position at the top: whatever stands there starts an item
            // unless it is the last; a comma or the last position ends one, and the position
            // after a comma is at the top again. The position that started an item does
            // nothing more.
            const auto atTop = [&](std::size_t i) {
                if (!capturing)
                {
                    if (i != last)
                    {
                        start = i;
                        capturing = pending = true;
                    }
                    return;
                }
                if (i == start || (text[i] != ',' && i != last))
                    return;
                pieces.emplace_back(start, i);
                capturing = false;
                if (text[i] != ',')
                    pending = false;
                else if (i + 1 < to && i + 1 != last)
                {
                    start = i + 1;
                    capturing = true;
                }
            };
            if (firstTop < to)
                atTop(firstTop);
            bool lastDone = !lastAtTop;
            for (;;)
            {
                while (mark != tops.end() && *mark < to && text[*mark] != ',')
                    ++mark;
                const std::size_t atMark = mark != tops.end() && *mark < to ? *mark : to;
                const std::size_t atCloser = closer != closers.end() && closer->position < to ? closer->position : to;
                const std::size_t next = std::min({atMark, atCloser, lastDone ? to : last});
                if (next == to)
                    break;
                if (next == atCloser)
                {
                    if (closer->otherDepth == top.curly)
                        atTop(next);
                    if (next != last)
                        throw JsonParsingExpectedEOFException(std::string(text.substr(next, to - next)));
                    ++closer;
                }
                else if (next == atMark)
                {
                    atTop(next);
                    ++mark;
                }
                else
                    atTop(next);
                if (next == last)
                    lastDone = true;
            }

            if (!(end == base))
                throw JsonParsingMissingBracketsException();
            if (pending)
                throw JsonParsingGeneralException("Unexpected EOF. Don't put a comma after the last value of a json array!");

            std::vector<std::unique_ptr<JsonData>> items;
            for (const auto& [itemFrom, itemTo] : pieces)
            {
                auto item = std::make_unique<JsonData>();
                Value(*item, itemFrom, itemTo, top, top, text.substr(itemFrom, itemTo - itemFrom), depth);
                items.push_back(std::move(item));
            }
            into.Clear();
            into.GetVector()->reserve(items.size());
            for (std::unique_ptr<JsonData>& item : items)
                into.InsertExistingtJsonData(item.release());
        }

        // Label and value of the member text [from, to).
        void Element(JsonElement& into, std::size_t from, std::size_t to, Depths base, Depths end, unsigned int depth) const
        {
            const std::string_view member = text.substr(from, to - from);
            const std::size_t open = member.find('"');
            if (open == std::string_view::npos)
                throw JsonParsingMissingQuotesException();
            JsonStringTracker strings;
            std::size_t close = open;
            do
                strings.Feed(member[close++]);
            while (strings.inString && close < member.size());
            if (strings.inString)
                throw JsonParsingMissingQuotesException();
            close--; // the label's closing quote

            std::string label;
            StringHelpers::AppendUnescaped(label, member.substr(open + 1, close - open - 1));
            const char afterLabel = close + 1 < member.size() ? member[close + 1] : '\0';
            if (afterLabel != ':')
                throw JsonParsingGeneralException(std::string("Expected ':', got '") + afterLabel + "'!");
            // Before its first quote a member holds no string; brackets there still count.
            Depths valueBase = base;
            for (const char c : member.substr(0, open))
                valueBase = valueBase.After(c);
            const std::size_t valueFrom = from + close + 2;
            Value(*into.data, valueFrom, to, valueBase, end, text.substr(valueFrom, to - valueFrom), depth);
            into.label = std::move(label);
        }

        // The first position at the top of an array text that may not begin with its bracket.
        std::size_t FirstTopOfArray(std::size_t from, std::size_t to) const
        {
            const Depths top{1, 0};
            Depths depths;
            JsonStringTracker strings;
            for (std::size_t i = from; i < to; i++)
            {
                if (!strings.inString && depths == top)
                    return i;
                if (!strings.inString)
                    depths = depths.After(text[i]);
                strings.Feed(text[i]);
            }
            return to;
        }

    private:
        struct Closer
        {
            std::size_t position;
            long otherDepth; // the depth of the other bracket kind before it
        };

        static std::uint64_t Key(Depths depths)
        {
            return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(depths.square)) << 32) |
                   static_cast<std::uint32_t>(depths.curly);
        }

        const std::vector<std::size_t>& MarksAt(Depths depths) const
        {
            static const std::vector<std::size_t> none;
            const auto found = marks.find(Key(depths));
            return found == marks.end() ? none : found->second;
        }

        static const std::vector<Closer>& ClosersAt(const std::unordered_map<long, std::vector<Closer>>& closers, long depth)
        {
            static const std::vector<Closer> none;
            const auto found = closers.find(depth);
            return found == closers.end() ? none : found->second;
        }

        static std::vector<Closer>::const_iterator FirstCloser(const std::vector<Closer>& closers, std::size_t from)
        {
            return std::lower_bound(closers.begin(), closers.end(), from,
                                    [](const Closer& closer, std::size_t position) { return closer.position < position; });
        }

        std::string_view text;
        Depths final;
        // Opening quotes and commas outside strings, by the depths before them.
        std::unordered_map<std::uint64_t, std::vector<std::size_t>> marks;
        // Closing curly brackets by the curly depth before them, and square ones by the
        // square depth, each with the depth of the other kind.
        std::unordered_map<long, std::vector<Closer>> closingCurly;
        std::unordered_map<long, std::vector<Closer>> closingSquare;
    };

    void JsonParser::CheckNesting(std::string_view text)
    {
        JsonStringTracker strings;
        Depths depths;
        for (const char c : text)
        {
            if (!strings.inString)
                depths = depths.After(c);
            strings.Feed(c);
            if (depths.square + depths.curly > static_cast<long>(maxNesting))
                throw NestingError();
        }
    }

    void JsonParser::Parse(JsonData& into, std::string_view text)
    {
        JsonData parsed;
        if (StrictParser(text).Document(parsed))
            return into.TakeContent(parsed);
        Split(into, text);
    }

    bool JsonParser::TryParse(JsonData& into, std::string_view text)
    {
        JsonData parsed;
        if (StrictParser(text).Document(parsed))
        {
            into.TakeContent(parsed);
            return true;
        }
        try
        {
            Split(into, text);
            return true;
        }
        catch (const JsonException&)
        {
            return false;
        }
    }

    JsonParser::ItemsRead JsonParser::TryParseItems(std::string_view text, const std::function<void(JsonData&)>& take,
                                                    const std::function<void()>& restart)
    {
        JsonData parsed;
        if (StrictParser(text, take).Document(parsed))
            return parsed.GetDataType() == ARRAY ? ItemsRead::ARRAY : ItemsRead::NOT_AN_ARRAY;
        // Beyond the strict grammar the whole text is read at once, and its items handed over anew.
        if (!TryParse(parsed, text))
            return ItemsRead::NOT_JSON;
        if (parsed.GetDataType() != ARRAY)
            return ItemsRead::NOT_AN_ARRAY;
        restart();
        JsonArray& array = parsed.GetArrayData();
        for (std::size_t i = 0; i < array.Size(); i++)
            take(array.At(i));
        return ItemsRead::ARRAY;
    }

    void JsonParser::Split(JsonData& into, std::string_view text)
    {
        const std::string minified = StringHelpers::MinifyJson(std::string(text));
        CheckNesting(minified);
        const Splitter splitter(minified);
        splitter.Value(into, 0, minified.size(), Depths(), splitter.Final(), text, 0);
    }

    void JsonParser::ParseBlock(JsonBlock& into, std::string_view text)
    {
        // A block parsed on its own is one level down, as a member's value would be.
        const std::string minified = StringHelpers::MinifyJson(std::string(text));
        const Splitter splitter(minified);
        splitter.Block(into, 0, minified.size(), Depths(), splitter.Final(), 1);
    }

    void JsonParser::ParseArray(JsonArray& into, std::string_view text)
    {
        const std::string minified = StringHelpers::MinifyJson(std::string(text));
        const Splitter splitter(minified);
        splitter.Array(into, 0, minified.size(), Depths(), splitter.Final(), splitter.FirstTopOfArray(0, minified.size()), 1);
    }

    void JsonParser::ParseElement(JsonElement& into, std::string_view text)
    {
        const std::string minified = StringHelpers::MinifyJson(std::string(text));
        const Splitter splitter(minified);
        splitter.Element(into, 0, minified.size(), Depths(), splitter.Final(), 1);
    }
}
