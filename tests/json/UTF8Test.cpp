#include <gtest/gtest.h>
#include "json/UTF8.h"

using namespace Ostrel;

namespace
{
struct DecodeCase
{
    std::string name;
    std::string bytes;
    std::u32string codePoints;
};
}

class UTF8DecodeTest : public ::testing::TestWithParam<DecodeCase>
{
};

TEST_P(UTF8DecodeTest, DecodesAndWritesU_FFFDForEachBrokenPart)
{
    EXPECT_EQ(UTF8::Decode(GetParam().bytes), GetParam().codePoints);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UTF8DecodeTest,
    ::testing::Values(DecodeCase{"Ascii", std::string("a\0~", 3), std::u32string(U"a\0~", 3)},
                      DecodeCase{"AllLengths", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", U"\u00e9\u20ac\U0001F600"},
                      DecodeCase{"Limits", "\xC2\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF", U"\u0080\uffff\U0010FFFF"},
                      DecodeCase{"LoneContinuation", "\x80" "a", U"\ufffda"},
                      DecodeCase{"CutShort", "\xE2\x82" "a\xF0\x9F\x98", U"\ufffda\ufffd"},
                      DecodeCase{"Overlong", "\xC0\xAF\xE0\x80\xAF", U"\ufffd\ufffd\ufffd\ufffd\ufffd"},
                      DecodeCase{"Surrogate", "\xED\xA0\x80", U"\ufffd\ufffd\ufffd"},
                      DecodeCase{"BeyondUnicode", "\xF4\x90\x80\x80\xF5", U"\ufffd\ufffd\ufffd\ufffd\ufffd"},
                      DecodeCase{"BrokenByLead", "\xE2\xC3\xA9", U"\ufffd\u00e9"}),
    [](const auto& info) { return info.param.name; });

TEST(UTF8Test, AppendWritesEveryScalarValueAndU_FFFDForTheRest)
{
    std::string text;
    for (const char32_t codePoint : {U'a', U'\u00e9', U'\u20ac', U'\U0001F600'})
        UTF8::Append(text, codePoint);
    EXPECT_EQ(text, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(UTF8::Decode(text), U"a\u00e9\u20ac\U0001F600");

    text.clear();
    UTF8::Append(text, 0xD800);
    UTF8::Append(text, 0x110000);
    EXPECT_EQ(text, "\xEF\xBF\xBD\xEF\xBF\xBD");
}
