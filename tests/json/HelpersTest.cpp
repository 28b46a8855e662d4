#include <gtest/gtest.h>
#include "json/Helpers.h"
#include "json/Jstring.h"

using Ostrel::Internal::Helpers;
using Ostrel::Internal::Jstring;

namespace
{
struct BaseCase
{
    unsigned long long value;
    std::string alphabet;
    unsigned int minLength;
    std::string digits;
};
}

class Base10_2_XTest : public ::testing::TestWithParam<BaseCase>
{
};

TEST_P(Base10_2_XTest, WritesDigits)
{
    const BaseCase& c = GetParam();
    EXPECT_EQ(Helpers::Base10_2_X(c.value, c.alphabet, c.minLength), c.digits);
}

static const std::string hex = "0123456789abcdef";
static const std::string base62 = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

INSTANTIATE_TEST_SUITE_P(Cases, Base10_2_XTest,
                         ::testing::Values(BaseCase{255, hex, 4, "00ff"}, BaseCase{0, hex, 4, "0000"},
                                           BaseCase{70000, hex, 4, "11170"}, BaseCase{5, "01", 2, "101"},
                                           BaseCase{0, "", 5, ""}, BaseCase{7, "", 0, ""}, BaseCase{0, "x", 3, "xxx"},
                                           BaseCase{0, hex, 0, "0"}, BaseCase{61, base62, 0, "Z"},
                                           BaseCase{1700000000, base62, 0, "1R31EQ"},
                                           BaseCase{18446744073709551615ull, hex, 0, "ffffffffffffffff"}));

TEST(HelpersTest, Base10_2_XRefusesAOneCharacterAlphabetForAPositiveValue)
{
    EXPECT_THROW(Helpers::Base10_2_X(1, "x", 0), std::invalid_argument);
}

TEST(HelpersTest, BaseX_2_10ReadsDigitsBack)
{
    EXPECT_EQ(Helpers::BaseX_2_10("00ff", hex), 255u);
    EXPECT_EQ(Helpers::BaseX_2_10("11170", hex), 70000u);
    EXPECT_EQ(Helpers::BaseX_2_10("1R31EQ", base62), 1700000000u);
    EXPECT_EQ(Helpers::BaseX_2_10("g1", hex), 1u); // unknown character counts 0 but keeps its place
    EXPECT_EQ(Helpers::BaseX_2_10("", hex), 0u);
    EXPECT_EQ(Helpers::BaseX_2_10("10000000000000000", hex), 0u); // 16^16 wraps to 0
}

TEST(HelpersTest, PowuliWrapsModulo2To64)
{
    EXPECT_EQ(Helpers::Powuli(7, 0), 1u);
    EXPECT_EQ(Helpers::Powuli(0, 0), 1u);
    EXPECT_EQ(Helpers::Powuli(3, 4), 81u);
    EXPECT_EQ(Helpers::Powuli(2, 63), 9223372036854775808ul);
    EXPECT_EQ(Helpers::Powuli(2, 64), 0u);
    EXPECT_EQ(Helpers::Powuli(3, 41), 18026252303461234787ul); // 3^41 - 2^64
}

TEST(HelpersTest, AreSameIsAStrictTolerance)
{
    EXPECT_TRUE(Helpers::AreSame(1.0, 1.05, 0.1));
    EXPECT_FALSE(Helpers::AreSame(1.0, 1.5, 0.5));
    EXPECT_TRUE(Helpers::AreSame(1.0L, 1.00000001L, 1e-7));
    EXPECT_FALSE(Helpers::AreSame(1.0L, 1.000001L, 1e-7));
}

TEST(HelpersTest, MinAndFreeVector)
{
    EXPECT_EQ(Helpers::Min<unsigned long>(3, 2), 2u);
    EXPECT_EQ(Helpers::Min(-1.5, 2.0), -1.5);
    auto* vector = new std::vector<int*>{new int(1), new int(2)};
    Helpers::FreeVector(vector); // leak checking tells whether the pointees went
    Helpers::FreeVector<int>(nullptr);
}

namespace
{
struct JstringCase
{
    Jstring value;
    std::string expected;
};
}

class JstringTest : public ::testing::TestWithParam<JstringCase>
{
};

TEST_P(JstringTest, FormatsItsValue)
{
    EXPECT_EQ(static_cast<std::string>(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, JstringTest,
                         ::testing::Values(JstringCase{Jstring(), ""}, JstringCase{Jstring(std::string("abc")), "abc"},
                                           JstringCase{Jstring('.'), "."}, JstringCase{Jstring(-42), "-42"},
                                           JstringCase{Jstring(9000000000LL), "9000000000"},
                                           JstringCase{Jstring(0.5), "0.5"}, JstringCase{Jstring(3.14159265), "3.14159"},
                                           JstringCase{Jstring(1234567.0), "1.23457e+06"},
                                           JstringCase{Jstring(0.0001L), "0.0001"},
                                           JstringCase{Jstring(0.00001L), "1e-05"}));
