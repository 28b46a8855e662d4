#include <gtest/gtest.h>
#include <functional>
#include "JsonTestDocuments.h"
#include "json/JsonParser.h"

using namespace Ostrel;

namespace
{
struct ValidCase
{
    std::string name;
    std::string text;
    JSON_DATA_TYPE type;
    std::string compact; // the parsed value rendered compactly
};
}

class ParseValidTest : public ::testing::TestWithParam<ValidCase>
{
};

TEST_P(ParseValidTest, ParsesTheValue)
{
    const ValidCase& c = GetParam();
    EXPECT_TRUE(IsJsonValid(c.text));
    JsonData data;
    data.Parse(c.text);
    EXPECT_EQ(data.GetDataType(), c.type);
    EXPECT_EQ(data.Render(true), c.compact);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseValidTest,
    ::testing::Values(ValidCase{"EmptyBlock", "{}", JSON, "{}"}, ValidCase{"SpacedEmptyBlock", "{ }", JSON, "{}"},
                      ValidCase{"EmptyArray", "[]", ARRAY, "[]"}, ValidCase{"Null", "null", NULL_, "null"},
                      ValidCase{"BrokenTrue", "tr ue", BOOL, "true"}, ValidCase{"False", "\tfalse\n", BOOL, "false"},
                      ValidCase{"SpacedNegative", "- 12", INT, "-12"}, ValidCase{"LeadingZeros", "007", INT, "7"},
                      ValidCase{"IntMax", "9223372036854775807", INT, "9223372036854775807"},
                      ValidCase{"IntMin", "-9223372036854775808", INT, "-9223372036854775808"},
                      ValidCase{"TrailingPoint", "1.", FLOAT, "1"}, ValidCase{"Float", "-0.25", FLOAT, "-0.25"},
                      ValidCase{"Exponent", "1e5", FLOAT, "100000"}, ValidCase{"SmallExponent", "5e-05", FLOAT, "0.00005"},
                      ValidCase{"SignedExponent", "-2E+10", FLOAT, "-20000000000"},
                      ValidCase{"PointAndExponent", "1.5E-7", FLOAT, "0.00000015"},
                      ValidCase{"IntBeyond64Bits", "9223372036854775808", FLOAT, "9223372036854775808.0"},
                      ValidCase{"NegativeBeyond64Bits", "-9223372036854775809", FLOAT, "-9223372036854775809.0"},
                      ValidCase{"StringKeepsSpace", "\"a b\"", STRING, "\"a b\""},
                      ValidCase{"InnerQuotes", R"("a"b"c")", STRING, R"("a\"b\"c")"},
                      ValidCase{"EscapedBackslashBeforeQuote", R"("C:\\dir\\")", STRING, R"("C:\\dir\\")"},
                      ValidCase{"Escapes", R"("\u00e9\u20AC\n\/")", STRING, R"("\u00e9\u20ac\n/")"},
                      ValidCase{"RawUtf8", "\"\xC3\x9C\xF0\x9F\x98\x80\"", STRING, R"("\u00dc\ud83d\ude00")"},
                      ValidCase{"InvalidUtf8", "\"a\xFF\"", STRING, R"("a\ufffd")"},
                      ValidCase{"RawControlCharacter", "\"\x07\"", STRING, R"("\u0007")"},
                      ValidCase{"LabelsCompareExactly", R"({"a":1,"A":2})", JSON, R"({"a":1,"A":2})"},
                      ValidCase{"StrayCharacterBetweenMembers", R"({x"a":1})", JSON, R"({"a":1})"},
                      ValidCase{"EscapedLabel", R"({"say \"hi\"":1})", JSON, R"({"say \"hi\"":1})"},
                      ValidCase{"Nested", R"( [ [], {}, [ { "k" : [ 1 , "x" ] } ] ] )", ARRAY, R"([[],{},[{"k":[1,"x"]}]])"},
                      ValidCase{"BracketsInStrings", R"({"a]":"}{","b":["]",","]})", JSON, R"({"a]":"}{","b":["]",","]})"}),
    [](const auto& info) { return info.param.name; });

namespace
{
struct InvalidCase
{
    std::string name;
    std::string text;
    std::function<void()> expected; // throws the expected exception
};

template <typename E, typename... Args>
std::function<void()> Raises(Args... args)
{
    return [=] { throw E(args...); };
}

std::function<void()> General(std::string comment)
{
    return Raises<JsonParsingGeneralException>(comment);
}

const std::string tooLong = "1" + std::string(5000, '0') + ".0";
}

class ParseInvalidTest : public ::testing::TestWithParam<InvalidCase>
{
};

TEST_P(ParseInvalidTest, RaisesTheFirstError)
{
    const InvalidCase& c = GetParam();
    EXPECT_FALSE(IsJsonValid(c.text));
    std::string expected;
    std::string expectedType;
    try
    {
        c.expected();
    }
    catch (const JsonException& e)
    {
        expected = std::string(e.what(), std::char_traits<char>::length(e.what()));
        expectedType = typeid(e).name();
    }
    try
    {
        JsonData data;
        data.Parse(c.text);
        FAIL() << "nothing thrown";
    }
    catch (const JsonException& e)
    {
        EXPECT_EQ(typeid(e).name(), expectedType);
        EXPECT_EQ(e.what(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseInvalidTest,
    ::testing::Values(
        InvalidCase{"OnlyWhitespace", "  ", General("JsonData-Parser got json code snippet of length 0!")},
        InvalidCase{"LeadingPoint", ".5", Raises<JsonParsingUnrecognizableDatatypeException>(std::string(".5"))},
        InvalidCase{"ExponentWithoutDigits", "1e", Raises<JsonParsingUnrecognizableDatatypeException>(std::string("1e"))},
        InvalidCase{"SignWithoutExponent", "1E+", Raises<JsonParsingUnrecognizableDatatypeException>(std::string("1E+"))},
        InvalidCase{"TwoPoints", "1.2.3", Raises<JsonParsingUnrecognizableDatatypeException>(std::string("1.2.3"))},
        InvalidCase{"PlusSign", "+1", Raises<JsonParsingUnrecognizableDatatypeException>(std::string("+1"))},
        InvalidCase{"UpperNull", "NULL", Raises<JsonParsingUnrecognizableDatatypeException>(std::string("NULL"))},
        InvalidCase{"CapitalTrue", " True ", Raises<JsonParsingUnrecognizableDatatypeException>(std::string(" True "))},
        InvalidCase{"FloatTooLarge", tooLong,
                    General("std::stold failed because the number found was too large for a long double! Value was \"" +
                            tooLong + "\"")},
        InvalidCase{"ExponentTooLarge", "[1e5000]",
                    General("std::stold failed because the number found was too large for a long double! Value was "
                            "\"1e5000\"")},
        InvalidCase{"IntegerTooLarge", "1" + std::string(5000, '0'),
                    General("std::stold failed because the number found was too large for a long double! Value was \"1" +
                            std::string(5000, '0') + "\"")},
        // Too small to hold is refused with the same words.
        InvalidCase{"ExponentTooSmall", "1e-5000",
                    General("std::stold failed because the number found was too large for a long double! Value was "
                            "\"1e-5000\"")},
        InvalidCase{"BlockTrailingComma", R"({"a":1,})",
                    General("Unexpected EOF. Don't put a comma after the last value of a json block!")},
        InvalidCase{"ArrayTrailingComma", "[1,]",
                    General("Unexpected EOF. Don't put a comma after the last value of a json array!")},
        InvalidCase{"LeadingComma", R"({,"a":1})", General("Fucked up a comma around position 1")},
        InvalidCase{"ShortMember", R"({"a"})", General("Fucked up a comma around position 1")},
        InvalidCase{"CommaBeforeTrailingComma", R"({"a":1,,"b":2,})", General("Fucked up a comma around position 7")},
        InvalidCase{"TextAfterBlock", R"({"a":1}x)", Raises<JsonParsingExpectedEOFException>(std::string("}x"))},
        InvalidCase{"TextAfterArray", "[1]]", Raises<JsonParsingExpectedEOFException>(std::string("]]"))},
        InvalidCase{"CrossedBrackets", R"({"a":[}]})", Raises<JsonParsingExpectedEOFException>(std::string("}]}"))},
        InvalidCase{"DuplicateLabel", R"({"a":1,"a":2})", Raises<JsonParsingDuplicateLabelException>(std::string("a"))},
        InvalidCase{"BadValueBeforeDuplicate", R"({"a":1,"a":x})",
                    Raises<JsonParsingUnrecognizableDatatypeException>(std::string("x"))},
        InvalidCase{"MissingColon", R"({"a" 1})", General("Expected ':', got '1'!")},
        InvalidCase{"NothingAfterLabel", R"({"ab"})", General(std::string("Expected ':', got '\0'!", 20))},
        InvalidCase{"MissingValue", R"({"a":})", General("JsonData-Parser got json code snippet of length 0!")},
        InvalidCase{"DoubleComma", "[1,,2]", Raises<JsonParsingUnrecognizableDatatypeException>(std::string(",2"))},
        InvalidCase{"LeadingArrayComma", "[,1]", Raises<JsonParsingUnrecognizableDatatypeException>(std::string(",1"))},
        InvalidCase{"OpenString", "\"abc", Raises<JsonParsingMissingQuotesException>()},
        InvalidCase{"TextAfterString", R"("a"b)", Raises<JsonParsingMissingBracketsException>()},
        InvalidCase{"OpenBlock", R"({"b":1)", Raises<JsonParsingMissingBracketsException>()},
        InvalidCase{"OpenArray", "[1", Raises<JsonParsingMissingBracketsException>()},
        InvalidCase{"NoMembers", "{abc}", General("Found no members in json block, but code is too long for no members")},
        InvalidCase{"BadEscape", R"({"a":"\u12"})", Raises<JsonParsingUTFSequenceException>(std::string(R"(\u12)"))},
        InvalidCase{"BadEscapeInLabel", R"({"\u12zz":1})", Raises<JsonParsingUTFSequenceException>(std::string("12zz"))},
        InvalidCase{"UnrecognisedKeepsWhitespace", " x y ",
                    Raises<JsonParsingUnrecognizableDatatypeException>(std::string(" x y "))}),
    [](const auto& info) { return info.param.name; });

TEST(ParseTest, WorkedExampleOfTheParser)
{
    JsonData data;
    data.Parse("{ \"b\": [1, 2.5, \"x\\u00e9\"],\n  \"a\": {\"n\": null, \"t\": true} }");
    const JsonArray& b = data["b"].GetArrayData();
    EXPECT_EQ(b[0].GetDataType(), INT);
    EXPECT_EQ(b[1].GetDataType(), FLOAT);
    EXPECT_EQ(b[1].GetFloatData(), 2.5L);
    EXPECT_EQ(b[2].GetStringData(), "x\xC3\xA9");
    EXPECT_EQ(data["a"]["n"].GetDataType(), NULL_);
    EXPECT_TRUE(data["a"]["t"].GetBoolData());
    EXPECT_EQ(data.Render(true), R"({"a":{"n":null,"t":true},"b":[1,2.5,"x\u00e9"]})");
}

TEST(ParseTest, RenderedTextParsesBackToTheSameValue)
{
    const JsonData original(WorkedExampleBlock());
    for (bool minify : {false, true})
    {
        JsonData parsed;
        parsed.Parse(original.Render(minify));
        EXPECT_TRUE(parsed.IsIdentical(original));
        EXPECT_EQ(parsed.Render(minify), original.Render(minify));
    }
}

TEST(ParseTest, ParsedValuesLinkToTheirParents)
{
    JsonData data;
    data.Parse(R"({"list":[{"k":1}]})");
    JsonData& list = data["list"];
    JsonData& item = list[0];
    EXPECT_EQ(&list.GetParent(), &data);
    EXPECT_EQ(&item.GetParent(), &list);
    EXPECT_EQ(&item["k"].GetParent(), &item);
}

TEST(ParseTest, AFailingParseLeavesTheValueAsItWas)
{
    JsonData data(WorkedExampleBlock());
    const JsonData before(data);
    EXPECT_THROW(data.Parse(R"({"a":1,"b":[1,2,x]})"), JsonParsingUnrecognizableDatatypeException);
    EXPECT_THROW(data.Parse("\"\\u12\""), JsonParsingUTFSequenceException);
    EXPECT_TRUE(data.IsIdentical(before));
    EXPECT_EQ(data.Render(false), workedExamplePretty);
}

// Both readers (the strict one and the splitter, for a text beyond the plain grammar) fill
// the value in place: its parent and its own float precision stay.
TEST(ParseTest, ParsingIntoAMemberKeepsItsParentAndPrecision)
{
    for (const std::string& text : {std::string(R"({"pi": [3.14159]})"), std::string(R"({x"pi": [3.14159]})")})
    {
        JsonData root(JSON);
        JsonData& member = root["m"];
        member.SetFloatPrecision(0.01);
        ASSERT_TRUE(member.TryParse(text));
        EXPECT_EQ(&member.GetParent(), &root);
        EXPECT_EQ(root.Render(true), R"({"m":{"pi":[3.14]}})");
        member.Parse(text);
        EXPECT_EQ(&member["pi"][0].GetParent(), &member["pi"]);
        EXPECT_FALSE(member.TryParse(text + ","));
        EXPECT_EQ(root.Render(true), R"({"m":{"pi":[3.14]}})");
    }
}

TEST(ParseTest, BlockParseAppendsAndRefusesLabelsItHolds)
{
    JsonBlock block({{"a", 1}});
    block.Parse(R"({"b":2})");
    EXPECT_EQ(block.Render(0, true), R"({"a":1,"b":2})");
    EXPECT_THROW(block.Parse(R"({"c":3,"a":4})"), JsonParsingDuplicateLabelException);
    EXPECT_EQ(block.Render(0, true), R"({"a":1,"b":2})");
}

TEST(ParseTest, ArrayParseReplacesTheItems)
{
    JsonArray array(std::vector<JsonData>{9});
    array.Parse("[1,2]");
    EXPECT_EQ(array.Render(0, true), "[1,2]");
    EXPECT_THROW(array.Parse("[3,x]"), JsonParsingUnrecognizableDatatypeException);
    EXPECT_EQ(array.Render(0, true), "[1,2]");
    EXPECT_THROW(array.Parse(""), JsonParsingGeneralException);
}

TEST(ParseTest, ElementParseSetsLabelAndValue)
{
    JsonElement element("old", 1);
    element.Parse(R"( "new" : { "x" : [ true ] } )");
    EXPECT_EQ(element.GetLabel(), "new");
    EXPECT_EQ(element.Render(0, true), R"("new":{"x":[true]})");
    EXPECT_THROW(element.Parse(R"("other":)"), JsonParsingGeneralException);
    EXPECT_EQ(element.GetLabel(), "new");
}

static std::string Nested(unsigned int levels, const std::string& open, const std::string& close)
{
    std::string text;
    for (unsigned int i = 0; i < levels; i++)
        text += open;
    text += "1";
    for (unsigned int i = 0; i < levels; i++)
        text += close;
    return text;
}

TEST(ParseTest, NestingIsLimitedTo512Levels)
{
    const unsigned int limit = Internal::JsonParser::maxNesting;
    ASSERT_EQ(limit, 512u);
    JsonData data;
    data.Parse(Nested(limit, "[", "]"));
    data.Parse(Nested(limit, "{\"a\":", "}"));
    EXPECT_EQ(data.Render(true), Nested(limit, "{\"a\":", "}"));

    const std::string comment = "Blocks and arrays are nested deeper than the limit of 512 levels!";
    for (const std::string& text :
         {Nested(limit + 1, "[", "]"), Nested(limit + 1, "{\"a\":", "}"), Nested(10000, "[", "]"),
          "{" + Nested(limit, "[", "]") + "\"a\":1}"})
    {
        EXPECT_FALSE(IsJsonValid(text));
        try
        {
            data.Parse(text);
            FAIL();
        }
        catch (const JsonParsingGeneralException& e)
        {
            EXPECT_EQ(e.what(), std::string(JsonParsingGeneralException(comment).what()));
        }
    }
    EXPECT_EQ(data.Render(true), Nested(limit, "{\"a\":", "}"));

    // Brackets inside strings are text, not nesting.
    data.Parse("[\"" + std::string(2 * limit, '[') + "\"]");
    EXPECT_EQ(data[0].GetStringData(), std::string(2 * limit, '['));
}

TEST(ParseTest, ParsesATextOfSeveralMebibytes)
{
    // Records shaped like the cache index, then one wide block: about 3.5 MiB.
    const int count = 20000;
    std::string text = "{\n  \"records\": [\n";
    for (int i = 0; i < count; i++)
    {
        const std::string n = std::to_string(i);
        text += "    {\"id\": \"" + n + "\", \"title\": \"Video number " + n + R"( \u00e9 \"live\"", )" +
                "\"queued_timestamp\": " + std::to_string(1700000000 + i) + ", \"progress\": " + n + ".5, " +
                "\"tags\": [\"music\", \"live\", null, {\"nested\": [" + n + "]}]}" + (i + 1 < count ? ",\n" : "\n");
    }
    text += "  ],\n  \"wide\": {\n";
    for (int i = 0; i < count; i++)
        text += "    \"member" + std::to_string(i) + "\": " + std::to_string(i) + (i + 1 < count ? ",\n" : "\n");
    text += "  }\n}";
    ASSERT_GT(text.size(), 3u << 20);

    JsonData parsed;
    parsed.Parse(text);
    const JsonData& last = parsed["records"][count - 1];
    EXPECT_EQ(parsed["records"].GetArrayData().Size(), static_cast<std::size_t>(count));
    EXPECT_EQ(last["queued_timestamp"].GetIntData(), 1700000000 + count - 1);
    EXPECT_EQ(last["title"].GetStringData(), "Video number 19999 \xC3\xA9 \"live\"");
    EXPECT_EQ(last["progress"].GetFloatData(), 19999.5L);
    EXPECT_EQ(last["tags"][3]["nested"][0].GetIntData(), count - 1);
    EXPECT_EQ(parsed["wide"].GetJsonData().GetNumElements(), static_cast<std::size_t>(count));
    EXPECT_EQ(parsed["wide"]["member12345"].GetIntData(), 12345);
}

// Read item by item, an array gives exactly the items of the whole parse, whichever reader
// takes the text; anything else is told apart as no JSON or no array.
struct ItemsCase
{
    std::string text;
    JsonArray::ItemsRead read;
};

class ParseItemsTest : public ::testing::TestWithParam<ItemsCase>
{
};

TEST_P(ParseItemsTest, HandsOverTheItemsOfTheWholeParse)
{
    std::vector<JsonData> taken;
    const JsonArray::ItemsRead read = JsonArray::TryParseItems(
        GetParam().text, [&](JsonData& item) { taken.push_back(std::move(item)); }, [&] { taken.clear(); });

    EXPECT_EQ(read, GetParam().read);
    JsonData whole;
    EXPECT_EQ(whole.TryParse(GetParam().text), read != JsonArray::ItemsRead::NOT_JSON);
    if (read != JsonArray::ItemsRead::ARRAY)
        return;
    const JsonArray& items = whole.GetArrayData();
    ASSERT_EQ(taken.size(), items.Size());
    for (std::size_t i = 0; i < taken.size(); i++)
        EXPECT_TRUE(taken[i] == items.At(i)) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseItemsTest,
    ::testing::Values(ItemsCase{R"([{"a": 1}, [2, 3], "x", null, {"b": {"c": [true]}}])", JsonArray::ItemsRead::ARRAY},
                      ItemsCase{"[]", JsonArray::ItemsRead::ARRAY},
                      // Beyond the strict grammar (junk between members, words broken by spaces): read whole.
                      ItemsCase{R"([{"a": 1}, {x"b": 2}, tr ue, 1 000])", JsonArray::ItemsRead::ARRAY},
                      ItemsCase{R"([{"a": 1}, {"b": 2}, {)", JsonArray::ItemsRead::NOT_JSON},
                      ItemsCase{R"({"a": [1, 2]})", JsonArray::ItemsRead::NOT_AN_ARRAY},
                      ItemsCase{"", JsonArray::ItemsRead::NOT_JSON}));
