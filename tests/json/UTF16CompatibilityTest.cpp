#include <gtest/gtest.h>
#include "json/Json.h"

using namespace Ostrel;

TEST(UTF16CompatibilityTest, ParseUTF16TurnsEscapesIntoUnits)
{
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(R"(a\u20acb)"), (std::u16string{0x61, 0x20AC, 0x62}));
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(R"(\u20AC)"), std::u16string(1, 0x20AC));
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(R"(\u00e9)"), std::u16string(1, 0xE9));
    EXPECT_EQ(UTF16Compatibility::ParseUTF16("\xE9"), std::u16string(1, 0xE9));
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

TEST(UTF16CompatibilityTest, EscapeUTF16WritesWideUnitsAsEscapes)
{
    EXPECT_EQ(UTF16Compatibility::EscapeUTF16(std::u16string{0x61, 0x20AC}), R"(a\u20ac)");
    EXPECT_EQ(UTF16Compatibility::EscapeUTF16(std::u16string(1, 0xE9)), "\xE9");
    EXPECT_EQ(UTF16Compatibility::EscapeUTF16(std::u16string(1, 0x100)), R"(\u0100)");
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
    const std::u16string text{0x41, 0xE9, 0x20AC, 0xFFFF, 0x0100, 0x22, 0x0A, 0x00};
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(UTF16Compatibility::EscapeUTF16(text)), text);
}

TEST(UTF16CompatibilityTest, BridgesTheParsersEscapeText)
{
    JsonData data;
    data.Parse(R"("caf\u00e9 \u20ac")");
    EXPECT_EQ(UTF16Compatibility::ParseUTF16(data.GetStringData()), u"caf\u00e9 \u20ac");
}
