#include <gtest/gtest.h>
#include "json/Json.h"

using namespace Ostrel;

namespace
{
std::string ControlCharacters()
{
    std::string text;
    for (int c = 0; c < 0x20; c++)
        text += static_cast<char>(c);
    return text;
}

std::string EscapedControlCharacters()
{
    std::string text;
    for (int c = 0; c < 0x20; c++)
        text += Internal::StringHelpers::EscapeUTF8(static_cast<char>(c));
    return text;
}

struct TextCase
{
    std::string name;
    std::string json;    // the JSON text of a string as a writer sends it
    std::string content; // the UTF-8 it stands for
};
}

class TextRoundTripTest : public ::testing::TestWithParam<TextCase>
{
};

// As a value and as a label, through parse and render in both forms, again and again.
TEST_P(TextRoundTripTest, KeepsTheCharactersThroughEveryRoundTrip)
{
    const TextCase& c = GetParam();
    for (const bool minify : {false, true})
    {
        std::string text = "[" + c.json + ",{" + c.json + ":0}]";
        std::string rendered;
        for (int round = 0; round < 3; round++)
        {
            JsonData parsed;
            parsed.Parse(text);
            EXPECT_EQ(parsed[0].GetStringData(), c.content) << "round " << round;
            EXPECT_TRUE(parsed[1].GetJsonData().DoesExist(c.content)) << "round " << round;
            text = parsed.Render(minify);
            if (round > 0)
            {
                EXPECT_EQ(text, rendered);
            }
            rendered = text;
        }
        // Readable whatever encoding a reader assumes, and no raw control character.
        for (const char byte : JsonData(c.content).Render(true))
            EXPECT_TRUE(byte >= 0x20 && byte < 0x7F) << static_cast<int>(byte);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextRoundTripTest,
    ::testing::Values(TextCase{"RawUtf8Letters", "\"\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC\"",
                               "\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"},
                      TextCase{"EscapedLetters", R"("\u00dcn\u00efc\u00f6d\u00e9 \u65e5\u672c")",
                               "\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"},
                      TextCase{"FourByteCharacter", "\"\xF0\x9F\x98\x80\"", "\xF0\x9F\x98\x80"},
                      TextCase{"EscapedFourByteCharacter", R"("\ud83d\ude00")", "\xF0\x9F\x98\x80"},
                      TextCase{"LoneSurrogateEscape", R"("a\ud800b")", "a\xEF\xBF\xBD" "b"},
                      TextCase{"InvalidUtf8", "\"a\xFF" "b\xC3\"", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
                      TextCase{"EscapedControlCharacters", "\"" + EscapedControlCharacters() + "\"", ControlCharacters()},
                      TextCase{"RawControlCharacters", "\"" + ControlCharacters() + "\"", ControlCharacters()},
                      TextCase{"LiteralEscapeText", R"("\\u4e2d")", R"(\u4e2d)"},
                      TextCase{"Backslashes", R"("C:\\dir\\ \\\\")", R"(C:\dir\ \\)"}),
    [](const auto& info) { return info.param.name; });

namespace
{
struct NumberCase
{
    std::string name;
    std::string json;
    long double value;
    std::string rendered;
};
}

class NumberRoundTripTest : public ::testing::TestWithParam<NumberCase>
{
};

TEST_P(NumberRoundTripTest, ReadsBackTheSameValue)
{
    const NumberCase& c = GetParam();
    JsonData parsed;
    parsed.Parse(c.json);
    EXPECT_EQ(parsed.GetDataType(), FLOAT);
    EXPECT_EQ(parsed.GetFloatData(), c.value);
    EXPECT_EQ(parsed.Render(false), c.rendered);

    JsonData again;
    again.Parse(parsed.Render(false));
    EXPECT_EQ(again.GetFloatData(), c.value);
    EXPECT_EQ(again.Render(false), c.rendered);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberRoundTripTest,
    ::testing::Values(NumberCase{"Exponent", "1e5", 1e5L, "100000"}, NumberCase{"SmallExponent", "5e-05", 5e-05L, "0.00005"},
                      NumberCase{"SignedExponent", "-2E+10", -2e10L, "-20000000000"},
                      NumberCase{"TwoToThe63", "9223372036854775808", 0x1p63L, "9223372036854775808.0"},
                      NumberCase{"Huge", "1e308", 1e308L, "1" + std::string(308, '0') + ".0"},
                      NumberCase{"OneTenth", "0.1", 0.1L, "0.1"}),
    [](const auto& info) { return info.param.name; });
