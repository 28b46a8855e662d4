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
    ::testing::Values(EscapePair{"plain", "plain"}, EscapePair{"\xC3\xA9", R"(\u00c3\u00a9)"},
                      EscapePair{"say \"hi\"", R"(say \"hi\")"},
                      EscapePair{"\b\t\n\f\r", R"(\b\t\n\f\r)"},
                      EscapePair{R"(C:\dir\)", R"(C:\\dir\\)"},
                      EscapePair{R"(\u20ac)", R"(\u20ac)"},   // a code point above 0xFF stays escape text
                      EscapePair{R"(\u00e9)", R"(\\u00e9)"},  // backslash text that looks like a byte escape
                      EscapePair{R"(\u12)", R"(\\u12)"},      // too short to be an escape
                      EscapePair{"/\x01\x7F", "/\x01\x7F"}, // not escaped
                      EscapePair{std::string("a\0b", 3), std::string("a\0b", 3)}));

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

INSTANTIATE_TEST_SUITE_P(Cases, UnescapeTest,
                         ::testing::Values(UnescapeCase{R"(a\bc)", "a\bc"}, UnescapeCase{R"(\x)", "x"},
                                           UnescapeCase{R"(\/)", "/"}, UnescapeCase{R"(ab\)", "ab"},
                                           UnescapeCase{R"(\u20AC)", R"(\u20ac)"}, UnescapeCase{R"(\u00E9)", "\xE9"},
                                           UnescapeCase{R"(\u0000)", std::string(1, '\0')},
                                           UnescapeCase{R"(\\\")", R"(\")"}));

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
                                           UtfErrorCase{R"(\uABCG)", "abcg"}));

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

INSTANTIATE_TEST_SUITE_P(Cases, SortDescriminatorTest,
                         ::testing::Values(OrderCase{"b", "A", true, false}, OrderCase{"a", "ab", false, true},
                                           OrderCase{"Name", "name", false, false},
                                           OrderCase{"\xC4pfel", "apfel", false, false},
                                           OrderCase{"stra\xDF" "e", "strase", false, false},
                                           OrderCase{"\xE9", "a", false, true}, // bytes above 0x7F come first
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
    EXPECT_EQ(StringHelpers::ParseUTF8("00e9"), "\xE9");
    EXPECT_EQ(StringHelpers::ParseUTF8("20AC"), R"(\u20ac)");
    EXPECT_EQ(StringHelpers::EscapeUTF8('\xE9'), R"(\u00e9)");
    EXPECT_EQ(StringHelpers::EscapeUTF8('A'), R"(\u0041)");
    EXPECT_THROW(StringHelpers::ParseUTF8("123"), JsonParsingUTFSequenceException);
}
