#include <gtest/gtest.h>
#include "json/JsonExceptions.h"
#include "json/StringHelpers.h"

using namespace Ostrel;
using Ostrel::Internal::StringHelpers;

namespace
{
struct EscapePair
{
    std::string raw;
    std::string escaped;
};
}

class EscapeRoundTripTest : public ::testing::TestWithParam<EscapePair>
{
};

TEST_P(EscapeRoundTripTest, EscapesAndUnescapesBack)
{
    EXPECT_EQ(StringHelpers::Escape(GetParam().raw), GetParam().escaped);
    EXPECT_EQ(StringHelpers::Unescape(GetParam().escaped), GetParam().raw);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, EscapeRoundTripTest,
    ::testing::Values(EscapePair{"plain", "plain"}, EscapePair{"\xC3\xA9", R"(\u00e9)"},
                      EscapePair{"\xE2\x82\xAC", R"(\u20ac)"},
                      EscapePair{"\xF0\x9F\x98\x80", R"(\ud83d\ude00)"}, // beyond U+FFFF: a pair
                      EscapePair{"say \"hi\"", R"(say \"hi\")"},
                      EscapePair{"\b\t\n\f\r", R"(\b\t\n\f\r)"},
                      EscapePair{"/\x01\x1F\x7F", "/\\u0001\\u001f\x7F"}, // every control character
                      EscapePair{std::string("a\0b", 3), R"(a\u0000b)"},
                      EscapePair{R"(C:\dir\)", R"(C:\\dir\\)"},
                      EscapePair{R"(\u4e2d)", R"(\\u4e2d)"}, // backslash text that looks like an escape
                      EscapePair{R"(\u12)", R"(\\u12)"}));

namespace
{
struct EscapeCase
{
    std::string raw;
    std::string escaped;
};
}

class EscapeInvalidTest : public ::testing::TestWithParam<EscapeCase>
{
};

TEST_P(EscapeInvalidTest, WritesUFFFDForBytesThatAreNotUtf8)
{
    EXPECT_EQ(StringHelpers::Escape(GetParam().raw), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(Cases, EscapeInvalidTest,
                         ::testing::Values(EscapeCase{"a\xFF" "b", R"(a\ufffdb)"}, EscapeCase{"\xC3", R"(\ufffd)"},
                                           EscapeCase{"\xE2\x82" "a", R"(\ufffda)"},            // cut short
                                           EscapeCase{"\xC0\xAF", R"(\ufffd\ufffd)"},          // overlong
                                           EscapeCase{"\xED\xA0\x80", R"(\ufffd\ufffd\ufffd)"}, // a surrogate
                                           EscapeCase{"\xF4\x90\x80\x80", R"(\ufffd\ufffd\ufffd\ufffd)"}));

namespace
{
struct UnescapeCase
{
    std::string escaped;
    std::string raw;
};
}

class UnescapeTest : public ::testing::TestWithParam<UnescapeCase>
{
};

TEST_P(UnescapeTest, ReadsEscapes)
{
    EXPECT_EQ(StringHelpers::Unescape(GetParam().escaped), GetParam().raw);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnescapeTest,
    ::testing::Values(UnescapeCase{R"(a\bc)", "a\bc"}, UnescapeCase{R"(\x)", "x"}, UnescapeCase{R"(\/)", "/"},
                      UnescapeCase{R"(ab\)", "ab"}, UnescapeCase{R"(\u20AC)", "\xE2\x82\xAC"},
                      UnescapeCase{R"(\u00E9)", "\xC3\xA9"}, UnescapeCase{R"(\u0000)", std::string(1, '\0')},
                      UnescapeCase{R"(\\\")", R"(\")"}, UnescapeCase{R"(\\u4e2d)", R"(\u4e2d)"},
                      UnescapeCase{R"(\ud83d\ude00)", "\xF0\x9F\x98\x80"},
                      UnescapeCase{R"(\uD83D\uDE00)", "\xF0\x9F\x98\x80"},
                      // Half a pair stands for no character.
                      UnescapeCase{R"(\ud800x)", "\xEF\xBF\xBDx"}, UnescapeCase{R"(\ude00\ud83d)", "\xEF\xBF\xBD\xEF\xBF\xBD"},
                      UnescapeCase{R"(\ud83d\u0041)", "\xEF\xBF\xBD" "A"},
                      // Raw UTF-8 stays; bytes that are not UTF-8 become U+FFFD.
                      UnescapeCase{"\xC3\x9C\xF0\x9F\x98\x80", "\xC3\x9C\xF0\x9F\x98\x80"},
                      UnescapeCase{"a\xFF" "b\xC3", "a\xEF\xBF\xBD" "b\xEF\xBF\xBD"},
                      UnescapeCase{"\\\xC3\xA9", "\xC3\xA9"})); // a backslash before a character of two bytes

namespace
{
struct UtfErrorCase
{
    std::string escaped;
    std::string carried;
};
}

class UnescapeErrorTest : public ::testing::TestWithParam<UtfErrorCase>
{
};

TEST_P(UnescapeErrorTest, RaisesWithTheOffendingText)
{
    try
    {
        StringHelpers::Unescape(GetParam().escaped);
        FAIL() << "nothing thrown";
    }
    catch (const JsonParsingUTFSequenceException& e)
    {
        EXPECT_STREQ(e.what(), JsonParsingUTFSequenceException(GetParam().carried).what());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UnescapeErrorTest,
                         ::testing::Values(UtfErrorCase{R"(\u12)", R"(\u12)"}, UtfErrorCase{R"(x\u12zz)", "12zz"},
                                           UtfErrorCase{R"(\uABCG)", "abcg"},
                                           UtfErrorCase{R"(\ud83d\u12)", R"(\ud83d\u12)"}));

namespace
{
struct NumericCase
{
    std::string text;
    bool integer;
    bool decimal;
};
}

class IsNumericTest : public ::testing::TestWithParam<NumericCase>
{
};

TEST_P(IsNumericTest, RecognisesNumbers)
{
    EXPECT_EQ(StringHelpers::IsNumeric(GetParam().text, false), GetParam().integer);
    EXPECT_EQ(StringHelpers::IsNumeric(GetParam().text, true), GetParam().decimal);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsNumericTest,
    ::testing::Values(NumericCase{"", false, false}, NumericCase{"-", false, false}, NumericCase{"-12", true, true},
                      NumericCase{"007", true, true}, NumericCase{"1.5", false, true}, NumericCase{"1.", false, true},
                      NumericCase{"-0.25", false, true}, NumericCase{".5", false, false},
                      NumericCase{"-.5", false, false}, NumericCase{"1-2", false, false},
                      NumericCase{"1e5", false, false}, NumericCase{"+1", false, false},
                      NumericCase{"1.2.3", false, false}, NumericCase{"1 2", false, false}));

namespace
{
struct SplitCase
{
    std::string text;
    std::string delimiter;
    std::vector<std::string> pieces;
};
}

class SplitStringTest : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(SplitStringTest, CutsAtEveryDelimiter)
{
    EXPECT_EQ(StringHelpers::SplitString(GetParam().text, GetParam().delimiter), GetParam().pieces);
    if (GetParam().delimiter.size() == 1)
    {
        EXPECT_EQ(StringHelpers::SplitString(GetParam().text, GetParam().delimiter[0]), GetParam().pieces);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitStringTest,
                         ::testing::Values(SplitCase{"a.b", ".", {"a", "b"}}, SplitCase{"a..b", ".", {"a", "", "b"}},
                                           SplitCase{"a.", ".", {"a", ""}}, SplitCase{".a", ".", {"", "a"}},
                                           SplitCase{"abc", ".", {"abc"}}, SplitCase{"", ".", {}},
                                           SplitCase{"ab", "", {"a", "b"}}, SplitCase{"a::b::", "::", {"a", "b", ""}},
                                           SplitCase{"a:::b", "::", {"a", ":b"}}));

TEST(StringHelpersTest, ReplaceNeverOverlapsOrRescans)
{
    EXPECT_EQ(StringHelpers::Replace("aaa", "aa", "b"), "ba");
    EXPECT_EQ(StringHelpers::Replace("a.b.c", ".", "::"), "a::b::c");
    EXPECT_EQ(StringHelpers::Replace("abc", "", "x"), "abc");
    EXPECT_EQ(StringHelpers::Replace("aXa", "a", "aa"), "aaXaa");
    EXPECT_EQ(StringHelpers::Replace("a'b'", '\'', "'\\''"), "a'\\''b'\\''");
}

namespace
{
struct MinifyCase
{
    std::string text;
    std::string minified;
};
}

class MinifyJsonTest : public ::testing::TestWithParam<MinifyCase>
{
};

TEST_P(MinifyJsonTest, DropsWhitespaceOutsideStrings)
{
    EXPECT_EQ(StringHelpers::MinifyJson(GetParam().text), GetParam().minified);
}

INSTANTIATE_TEST_SUITE_P(Cases, MinifyJsonTest,
                         ::testing::Values(MinifyCase{"{ \"a b\" : [ 1, 2 ] }", R"({"a b":[1,2]})"},
                                           MinifyCase{"\"x\\\" y\" ", R"("x\" y")"},
                                           MinifyCase{"\"a\\\\\" b", R"("a\\"b)"},
                                           MinifyCase{"t r\tu\r\ne", "true"}, MinifyCase{"", ""}));

TEST(StringHelpersTest, MinifyJsonRefusesAnOpenString)
{
    EXPECT_THROW(StringHelpers::MinifyJson("\"abc"), JsonParsingMissingQuotesException);
    EXPECT_THROW(StringHelpers::MinifyJson(R"("a\")"), JsonParsingMissingQuotesException);
}

namespace
{
struct OrderCase
{
    std::string a;
    std::string b;
    bool aAfterB;
    bool bAfterA;
};
}

class SortDescriminatorTest : public ::testing::TestWithParam<OrderCase>
{
};

TEST_P(SortDescriminatorTest, OrdersCaseInsensitively)
{
    EXPECT_EQ(StringHelpers::SortDescriminator_Alphabetically(GetParam().a, GetParam().b), GetParam().aAfterB);
    EXPECT_EQ(StringHelpers::SortDescriminator_Alphabetically(GetParam().b, GetParam().a), GetParam().bAfterA);
}

// Characters order as the bytes and escape texts the library held them in before it kept
// UTF-8: U+0080-U+00FF before ASCII, characters beyond U+00FF as their "\uxxxx" text.
INSTANTIATE_TEST_SUITE_P(Cases, SortDescriminatorTest,
                         ::testing::Values(OrderCase{"b", "A", true, false}, OrderCase{"a", "ab", false, true},
                                           OrderCase{"Name", "name", false, false},
                                           OrderCase{"\xC3\x84pfel", "apfel", false, false},
                                           OrderCase{"stra\xC3\x9F" "e", "strase", false, false},
                                           OrderCase{"\xC3\xA9", "a", false, true},
                                           OrderCase{"\xC3\xA9", "\xE4\xB8\xAD", false, true},
                                           OrderCase{"\xE4\xB8\xAD", "a", false, true},
                                           OrderCase{"\xE4\xB8\xAD", "[", true, false},
                                           OrderCase{"\xE4\xB8\xAD", R"(\u4e2d)", false, false},
                                           OrderCase{"\xF0\x9F\x98\x80", R"(\ud83d\ude00)", false, false},
                                           OrderCase{"_a", "a", false, true}, OrderCase{"", "", false, false}));

TEST(StringHelpersTest, ToLowerFoldsAsciiAndGermanCapitals)
{
    EXPECT_EQ(StringHelpers::ToLower("AbZ\xC4\xD6\xDC\xC9"), "abz\xE4\xF6\xFC\xC9");
}

TEST(StringHelpersTest, GetIndentationIsTwoSpacesPerLevel)
{
    EXPECT_EQ(StringHelpers::GetIndentation(0), "");
    EXPECT_EQ(StringHelpers::GetIndentation(3), "      ");
}

TEST(StringHelpersTest, ParseUTF8AndEscapeUTF8)
{
    EXPECT_EQ(StringHelpers::ParseUTF8("00e9"), "\xC3\xA9");
    EXPECT_EQ(StringHelpers::ParseUTF8("20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(StringHelpers::ParseUTF8("d800"), "\xEF\xBF\xBD");
    EXPECT_EQ(StringHelpers::EscapeUTF8('\xE9'), R"(\u00e9)");
    EXPECT_EQ(StringHelpers::EscapeUTF8('A'), R"(\u0041)");
    EXPECT_THROW(StringHelpers::ParseUTF8("123"), JsonParsingUTFSequenceException);
}
