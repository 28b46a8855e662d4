#include <gtest/gtest.h>
#include "JsonTestDocuments.h"

using namespace Ostrel;

TEST(RenderTest, WorkedExampleInBothForms)
{
    const JsonData data(WorkedExampleBlock());
    EXPECT_EQ(data.Render(false), workedExamplePretty);
    EXPECT_EQ(data.Render(true), workedExampleCompact);
    EXPECT_EQ(static_cast<std::string>(data), workedExamplePretty);
}

TEST(RenderTest, ArraysAndEmptyContainers)
{
    EXPECT_EQ(JsonData(std::vector<JsonData>{1, 2}).Render(false), "[\n  1,\n  2\n]");
    EXPECT_EQ(JsonData(JSON).Render(false), "{}");
    EXPECT_EQ(JsonData(ARRAY).Render(false), "[]");
    const JsonData nested(JsonBlock({{"a", JsonBlock({{"e", JsonBlock()}, {"l", JsonArray()}})}}));
    EXPECT_EQ(nested.Render(false), "{\n  \"a\": {\n    \"e\": {},\n    \"l\": []\n  }\n}");
    const JsonData inArray(std::vector<JsonData>{JsonData(JsonBlock({{"k", std::vector<JsonData>{1}}}))});
    EXPECT_EQ(inArray.Render(false), "[\n  {\n    \"k\": [\n      1\n    ]\n  }\n]");
    EXPECT_EQ(inArray.Render(1, false), "[\n    {\n      \"k\": [\n        1\n      ]\n    }\n  ]");
}

TEST(RenderTest, ScalarsAndEscapes)
{
    EXPECT_EQ(JsonData().Render(false), "null");
    EXPECT_EQ(JsonData(false).Render(false), "false");
    EXPECT_EQ(JsonData(-42).Render(false), "-42");
    EXPECT_EQ(JsonData(std::numeric_limits<long long>::min()).Render(true), "-9223372036854775808");
    EXPECT_EQ(JsonData("\xC3\xA9").Render(false), R"("\u00e9")");
    EXPECT_EQ(JsonData(JsonBlock({{"say \"hi\"", 1}})).Render(true), R"({"say \"hi\"":1})");
}

namespace
{
struct FloatCase
{
    long double value;
    double precision; // 0: the default
    std::string text;
};
}

class FloatRenderTest : public ::testing::TestWithParam<FloatCase>
{
};

TEST_P(FloatRenderTest, WritesSignificantDigitsOfThePrecision)
{
    JsonData data(GetParam().value);
    if (GetParam().precision > 0)
        data.SetFloatPrecision(GetParam().precision);
    EXPECT_EQ(data.Render(false), GetParam().text);
}

// Plain decimals that read back as the same value; a set precision rounds to its digits.
INSTANTIATE_TEST_SUITE_P(
    Cases, FloatRenderTest,
    ::testing::Values(FloatCase{0.5L, 0, "0.5"}, FloatCase{2.0L, 0, "2"}, FloatCase{0.1L, 0, "0.1"},
                      FloatCase{3.14159265358979L, 0, "3.14159265358979"}, FloatCase{12345678.9L, 0, "12345678.9"},
                      FloatCase{1234567890.0L, 0, "1234567890"}, FloatCase{0.000123456789L, 0, "0.000123456789"},
                      FloatCase{0.00001L, 0, "0.00001"}, FloatCase{-0.25L, 0, "-0.25"}, FloatCase{-0.0L, 0, "-0.0"},
                      FloatCase{1e20L, 0, "100000000000000000000.0"}, FloatCase{-0x1p63L, 0, "-9223372036854775808"},
                      FloatCase{0.1, 0, "0.10000000000000000555"}, // a double keeps what its widening added
                      FloatCase{std::numeric_limits<long double>::quiet_NaN(), 0, "null"},
                      FloatCase{-std::numeric_limits<long double>::infinity(), 0, "null"},
                      FloatCase{3.14159265358979L, 1.0, "3"}, FloatCase{3.14159265358979L, 0.001, "3.142"},
                      FloatCase{3.14159265358979L, 0.01, "3.14"}, FloatCase{1234567890.0L, 1e-7, "1234567900"},
                      FloatCase{0.00001L, 1e-7, "0.00001"},
                      FloatCase{0.1L, 1e-28, "0.10000000000000000000135525272"}));

TEST(RenderTest, InheritedPrecisionReachesNestedFloats)
{
    JsonData root(JsonBlock({{"pi", 3.14159265358979}}));
    root.SetFloatPrecision(0.001);
    EXPECT_EQ(root.Render(true), R"({"pi":3.142})");
}

namespace
{
struct MemberOrderCase
{
    std::vector<std::string> added;
    std::string rendered;
};
}

class MemberOrderTest : public ::testing::TestWithParam<MemberOrderCase>
{
};

TEST_P(MemberOrderTest, MembersRenderInLabelOrder)
{
    JsonBlock block;
    for (const std::string& label : GetParam().added)
        block.Add(label);
    EXPECT_EQ(block.Render(0, true), GetParam().rendered);

    const std::unique_ptr<std::vector<JsonElement*>> sorted(block.GetElementsSortedByLabel());
    EXPECT_EQ(sorted->size(), GetParam().added.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, MemberOrderTest,
                         ::testing::Values(MemberOrderCase{{"b", "_a", "A1", "a"}, R"({"_a":null,"a":null,"A1":null,"b":null})"},
                                           MemberOrderCase{{"b", "B"}, R"({"b":null,"B":null})"},
                                           MemberOrderCase{{"B", "b"}, R"({"B":null,"b":null})"},
                                           MemberOrderCase{{"z", "\xC3\xA9", "\xE4\xB8\xAD", "\xC3\x84x", "ab"},
                                                     R"({"\u00e9":null,"\u4e2d":null,"ab":null,"\u00c4x":null,"z":null})"}));

// Large blocks sort another way than small ones; both give the order of the plain label
// passes, in which labels that compare equal keep their stored order.
TEST(RenderTest, MemberOrderOfLargeBlocksIsThatOfTheLabelPasses)
{
    const std::vector<std::string> pool = {"b", "B", "a", "A", "_", "ab", "Ab", "\xC3\xA9", "\xC3\x84", "a\xE4\xB8\xAD", "aa"};
    for (const std::size_t count : {5u, 33u, 80u})
    {
        JsonBlock block;
        std::vector<std::string> labels;
        for (std::size_t i = 0; i < count; i++)
        {
            labels.push_back(pool[i * 7 % pool.size()] + std::to_string(i % 3 == 0 ? 0 : i));
            if (!block.DoesExist(labels.back()))
                block.Add(labels.back());
            else
                labels.pop_back();
        }
        for (std::size_t j = 0; j < labels.size(); j++)
            for (std::size_t k = 0; k + 1 < labels.size() - j; k++)
                if (Internal::StringHelpers::SortDescriminator_Alphabetically(labels[k], labels[k + 1]))
                    std::swap(labels[k], labels[k + 1]);

        const std::unique_ptr<std::vector<JsonElement*>> sorted(block.GetElementsSortedByLabel());
        std::vector<std::string> rendered;
        for (const JsonElement* member : *sorted)
            rendered.push_back(member->GetLabel());
        EXPECT_EQ(rendered, labels) << count << " members";
    }
}

// A member or an array rendered piece by piece reads exactly as the tree holding it renders.
TEST(RenderTest, StreamedItemsAndMembersRenderAsTheirTrees)
{
    const JsonBlock item1({{"title", "One"}, {"n", 1}});
    const JsonBlock item2({{"title", "Two \"2\""}, {"n", std::vector<JsonData>{2, 3}}});
    const std::vector<JsonBlock> items = {item1, item2};
    for (const bool minify : {false, true})
    {
        for (const std::vector<JsonBlock>& shown : {items, std::vector<JsonBlock>{}})
        {
            JsonArray whole;
            for (const JsonBlock& item : shown)
                whole.Add(item);
            const JsonBlock reply({{"cache", whole}, {"cache_size", static_cast<long long>(shown.size())},
                                   {"status", "OK"}});
            const auto streamItems = [&](std::string& out, unsigned int depth) {
                JsonArray::RenderItemsTo(out, depth, minify, shown.size(),
                                          [&](std::size_t i, std::string& text, unsigned int itemDepth) {
                                              shown[i].RenderTo(text, itemDepth, minify);
                                          });
            };

            std::string array;
            streamItems(array, 2);
            EXPECT_EQ(array, whole.Render(2, minify));

            JsonBlock placeholder(reply);
            placeholder.Set("cache") = JsonArray();
            std::string streamed;
            placeholder.RenderTo(streamed, 0, minify, "cache", streamItems);
            EXPECT_EQ(streamed, reply.Render(0, minify));
        }
    }
}
