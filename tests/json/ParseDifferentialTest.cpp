// The parser reads every text as the plain splitter of SplitterOracle.h does: the same
// values, the same exception with the same message, in all four parse operations, and
// IsJsonValid and TryParse agree with Parse. Random JSON-like texts, most of them broken on
// purpose, make the odd corners of the splitter come up by the thousand.
#include <gtest/gtest.h>
#include <functional>
#include <random>
#include "SplitterOracle.h"

using namespace Ostrel;

namespace
{
// A value's type and content, members in label order, items in order: two results are the
// same exactly when their dumps are.
std::string Dump(const JsonData& value)
{
    switch (value.GetDataType())
    {
    case JSON:
    {
        std::string text = "{";
        const std::unique_ptr<std::vector<JsonElement*>> members(value.GetJsonData().GetElementsSortedByLabel());
        for (const JsonElement* member : *members)
            text += JsonData(member->GetLabel()).Render(true) + ":" + Dump(*member->GetData()) + ",";
        return text + "}";
    }
    case ARRAY:
    {
        std::string text = "[";
        for (const JsonData* item : *value.GetArrayData().GetVector())
            text += Dump(*item) + ",";
        return text + "]";
    }
    default: return JsonDataType2String(value.GetDataType()) + ":" + value.Render(true);
    }
}

// "ok:" and the dump, or the exception's type and message.
std::string Outcome(const std::function<std::string()>& parse)
{
    try
    {
        return "ok:" + parse();
    }
    catch (const JsonException& e)
    {
        return std::string(typeid(e).name()) + ":" + e.what();
    }
}

class TextMaker
{
public:
    explicit TextMaker(unsigned int seed) : random(seed) {}

    std::string Text()
    {
        std::string text = Space() + Value(0) + Space();
        for (unsigned int edits = Pick(4); edits > 0; edits--)
            Edit(text);
        return text;
    }

private:
    unsigned int Pick(unsigned int n)
    {
        return static_cast<unsigned int>(random() % n);
    }

    template <typename T>
    const T& OneOf(const std::vector<T>& choices)
    {
        return choices[Pick(static_cast<unsigned int>(choices.size()))];
    }

    std::string Space()
    {
        static const std::vector<std::string> spaces = {"", "", "", " ", "\n  ", "\t", "\r\n"};
        return OneOf(spaces);
    }

    std::string Number()
    {
        static const std::vector<std::string> numbers = {
            "0", "-12", "007", "1.", "-0.25", "1e5", "5e-05", "-2E+10", "1.e3", "9223372036854775807",
            "9223372036854775808", "-9223372036854775809", "1e5000", "1e-5000", "0.1", "-0", "-", "1e", "1E+", ".5",
            "+1", "1 2", "- 1", "1.2.3", "12x", "2e0"};
        return OneOf(numbers);
    }

    std::string String()
    {
        static const std::vector<std::string> pieces = {
            "a", "A", " ", "\\\"", "\\\\", "\\/", "\\n", "\\u00e9", "\\u20AC", "\\ud83d\\ude00", "\\ud800", "\\u12",
            "\\uzz12", "\\x", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xFF", "\x07", "{", "]", ",", ":", "\\u0061"};
        std::string text = "\"";
        for (unsigned int n = Pick(4); n > 0; n--)
            text += OneOf(pieces);
        return text + "\"";
    }

    std::string Label()
    {
        // Few labels, so that duplicates (also "a" and "\u0061") come up.
        static const std::vector<std::string> labels = {"\"a\"", "\"b\"", "\"A\"", "\"\\u0061\"", "\"a b\"", "\"\""};
        return Pick(5) == 0 ? String() : OneOf(labels);
    }

    std::string Value(int depth)
    {
        switch (Pick(depth < 4 ? 9 : 6))
        {
        case 0: return "null";
        case 1: return Pick(2) == 0 ? "true" : "tr ue";
        case 2:
        case 3: return Number();
        case 4:
        case 5: return String();
        case 6:
        case 7:
        {
            std::string text = "{" + Space();
            for (unsigned int n = Pick(4), i = 0; i < n; i++)
                text += (i > 0 ? "," + Space() : "") + Label() + Space() + ":" + Space() + Value(depth + 1) + Space();
            return text + "}";
        }
        default:
        {
            std::string text = "[" + Space();
            for (unsigned int n = Pick(4), i = 0; i < n; i++)
                text += (i > 0 ? "," + Space() : "") + Value(depth + 1) + Space();
            return text + "]";
        }
        }
    }

    void Edit(std::string& text)
    {
        static const std::string characters = "{}[],:\"\\ x0-.e";
        const std::size_t at = text.empty() ? 0 : Pick(static_cast<unsigned int>(text.size()));
        switch (Pick(4))
        {
        case 0: text.insert(at, 1, characters[Pick(static_cast<unsigned int>(characters.size()))]); break;
        case 1:
            if (!text.empty())
                text.erase(at, 1);
            break;
        case 2: text = text.substr(0, at); break;
        default: text.insert(at, text.substr(at, Pick(8))); break;
        }
    }

    std::mt19937 random;
};

void ExpectSameAsTheOracle(const std::string& text)
{
    const std::string expected = Outcome([&] { return Dump(SplitterOracle::Parse(text)); });
    const std::string actual = Outcome([&] {
        JsonData value;
        value.Parse(text);
        return Dump(value);
    });
    ASSERT_EQ(actual, expected) << "text: " << text;

    const bool valid = expected.rfind("ok:", 0) == 0;
    EXPECT_EQ(IsJsonValid(text), valid) << text;
    JsonData tried(1);
    EXPECT_EQ(tried.TryParse(text), valid) << text;
    EXPECT_EQ("ok:" + Dump(tried), valid ? expected : "ok:INT:1") << text;

    const JsonBlock holding({JsonElement("a", 1)});
    EXPECT_EQ(Outcome([&] {
                  JsonBlock block(holding);
                  block.Parse(text);
                  return Dump(JsonData(block));
              }),
              Outcome([&] { return Dump(JsonData(SplitterOracle::ParseBlock(holding, text))); }))
        << "block: " << text;
    EXPECT_EQ(Outcome([&] {
                  JsonArray array;
                  array.Parse(text);
                  return Dump(JsonData(array));
              }),
              Outcome([&] { return Dump(JsonData(SplitterOracle::ParseArray(text))); }))
        << "array: " << text;
    const std::string member = "\"m\":" + text;
    EXPECT_EQ(Outcome([&] {
                  JsonElement element("old");
                  element.Parse(member);
                  return element.GetLabel() + "=" + Dump(*element.GetData());
              }),
              Outcome([&] {
                  const JsonElement element = SplitterOracle::ParseElement(member);
                  return element.GetLabel() + "=" + Dump(*element.GetData());
              }))
        << "element: " << member;
}
}

TEST(ParseDifferentialTest, ReadsRandomTextsAsThePlainSplitter)
{
    TextMaker maker(17);
    for (int i = 0; i < 20000; i++)
    {
        ExpectSameAsTheOracle(maker.Text());
        if (HasFatalFailure())
            return;
    }
}

// Every text of up to five characters that matter to the splitter, and random longer ones.
TEST(ParseDifferentialTest, ReadsShortTextsAsThePlainSplitter)
{
    const std::string characters = "{}[]\":,a";
    std::vector<std::string> texts = {""};
    for (std::size_t from = 0, length = 1; length <= 5; length++)
    {
        const std::size_t to = texts.size();
        for (std::size_t i = from; i < to; i++)
            for (const char c : characters)
                texts.push_back(texts[i] + c);
        from = to;
    }
    std::mt19937 random(3);
    const std::string more = characters + "1 \\";
    for (int i = 0; i < 10000; i++)
    {
        std::string text(6 + random() % 7, ' ');
        for (char& c : text)
            c = more[random() % more.size()];
        texts.push_back(text);
    }
    for (const std::string& text : texts)
    {
        ExpectSameAsTheOracle(text);
        if (HasFatalFailure())
            return;
    }
}

TEST(ParseDifferentialTest, ReadsTheSplittersOddCornersAsItDoes)
{
    for (const std::string text :
         {"{x\"a\":1}", "{[]\"a\":1}", "{{}\"a\":1}", "{[}]\"a\":1}", "\"a\"b\"c\"", "[1 2]", "[[}{]]", "[,1]", "[1,,2]",
          "[1,]", "[]]", "{\"\"[}", "{\"\"[}]}", "[{]", "[{]}", "[1]]", "{\"a\":1}}", "{\"a\":[}]}", "{\"a\":1,}", "{,\"a\":1}", "{\"a\"}", "{\"ab\"}",
          "{\"a\" 1}", "{\"a\":}", "abc", "x[1]", "{\"a\":1}x", "[\"a\"x]", "[{}x]", "{\"a\":{\"b\":1}", "][", "}{",
          "{\"a\":1,\"a\":2}", "{\"a\":x,\"a\":1}", "{\"a\":1,\"\\u0061\":2}", "[\"\\u12\"]", "{\"\\u12zz\":1}", "  ",
          "", "[", "{", "\"", "[\"]\"]", "{\"a\":\"}\"}", "{\"a\":1,,\"b\":2,}", "[1,\"", "{ \"a\" : [ 1 , 2 ] }"})
        ExpectSameAsTheOracle(text);
}

TEST(ParseDifferentialTest, ReadsDeepTextsAsThePlainSplitter)
{
    for (const int levels : {511, 512, 513})
        for (const std::string& inner : {std::string("1"), std::string("1,"), std::string("}"), std::string("\"a\":1")})
        {
            ExpectSameAsTheOracle(std::string(levels, '[') + inner + std::string(levels, ']'));
            std::string blocks;
            for (int i = 0; i < levels; i++)
                blocks += "{\"a\":";
            ExpectSameAsTheOracle(blocks + inner + std::string(levels, '}'));
        }
}
