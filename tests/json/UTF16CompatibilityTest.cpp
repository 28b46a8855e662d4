#include <gtest/gtest.h>
#include "json/Json.h"

using namespace Ostrel;

TEST(UTF16CompatibilityTest, ParseUTF16TurnsEscapesIntoUnits)
{
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(R"(a\u20acb)"), (std::u16string{0x61, 0x20AC, 0x62}));
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(R"(\u20AC)"), std::u16string(1, 0x20AC));
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(R"(\u00e9)"), std::u16string(1, 0xE9));
    EXPECT_EQ(UTF16Compatibility::ParseUTF16("\xC3\xA9"), std::u16string(1, 0xE9));
    EXPECT_EQ(UTF16Compatibility::ParseUTF16("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00}));
    EXPECT_EQ(UTF16Compatibility::ParseUTF16("a\xE9"), (std::u16string{0x61, 0xFFFD}));
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(""), u"");
}

TEST(UTF16CompatibilityTest, ParseUTF16KeepsAnEscapedBackslashU)
{
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(R"(a\\u20ac\u0041)"), u"a\\\\u20acA");
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(R"(\\u12)"), u"\\\\u12");
}

TEST(UTF16CompatibilityTest, ParseUTF16RefusesBadEscapes)
{
    const auto raisesWith = [](const std::string& text, const std::string& carried) {
        try
        {
            UTF16Compatibility::ParseUTF16(text);
            ADD_FAILURE() << text;
        }
        catch (const JsonParsingUTFSequenceException& e)
        {
            EXPECT_STREQ(e.what(), JsonParsingUTFSequenceException(carried).what());
        }
    };
    raisesWith(R"(x\u12)", R"(\u)");
    raisesWith(R"(\u12zz)", "12zz");
    raisesWith(R"(\uABCG!)", "abcg");
}

TEST(UTF16CompatibilityTest, EscapeUTF16EncodesUtf8)
{
    EXPECT_EQ(UTF16Compatibility::EscapeUTF16(std::u16string{0x61, 0x20AC}), "a\xE2\x82\xAC");
    EXPECT_EQ(UTF16Compatibility::EscapeUTF16(std::u16string(1, 0xE9)), "\xC3\xA9");
    EXPECT_EQ(UTF16Compatibility::EscapeUTF16(std::u16string{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
    EXPECT_EQ(UTF16Compatibility::EscapeUTF16(std::u16string{0xDE00, 0x41, 0xD83D}), "\xEF\xBF\xBD" "A\xEF\xBF\xBD");
    EXPECT_EQ(UTF16Compatibility::EscapeUTF16(u"\"q\"\n"), "\"q\"\n");
    EXPECT_EQ(UTF16Compatibility::EscapeUTF16(u""), "");
}

TEST(UTF16CompatibilityTest, ByteWiseConversions)
{
    EXPECT_EQ(UTF16Compatibility::U8_2_U16("a\xE9"), (std::u16string{0x61, 0xE9}));
    EXPECT_EQ(UTF16Compatibility::U16_2_U8(std::u16string(1, 0xE9)), "\xE9");
    EXPECT_EQ(UTF16Compatibility::U16_2_U8(std::u16string(1, 0x20AC)), "\xAC");
    EXPECT_EQ(UTF16Compatibility::U8_2_U16(""), u"");
    EXPECT_EQ(UTF16Compatibility::U16_2_U8(u""), "");
}

TEST(UTF16CompatibilityTest, EscapeThenParseGivesBackTextWithoutBackslashes)
{
    const std::u16string text{0x41, 0xE9, 0x20AC, 0xFFFF, 0x0100, 0xD83D, 0xDE00, 0x22, 0x0A, 0x00};
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(UTF16Compatibility::EscapeUTF16(text)), text);
}

TEST(UTF16CompatibilityTest, BridgesTheParsersEscapeText)
{
    JsonData data;
    data.Parse(R"("caf\u00e9 \u20ac")");
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(data.GetStringData()), u"caf\u00e9 \u20ac");
}
