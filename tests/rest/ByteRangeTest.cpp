#include <gtest/gtest.h>
#include "rest/ByteRange.h"

using namespace Rest;

struct RangeCase
{
    std::string header;
    uint64_t size;
    ByteRange::Kind kind;
    uint64_t first;
    uint64_t length;
    std::string contentRange;  // for PART and UNSATISFIABLE
};

void PrintTo(const RangeCase& c, std::ostream* os)
{
    *os << '"' << c.header << "\" of " << c.size;
}

class ByteRangeTest : public ::testing::TestWithParam<RangeCase>
{
};

TEST_P(ByteRangeTest, TakesOneRangeOfBytes)
{
    const RangeCase& c = GetParam();
    const ByteRange range = ByteRange::Parse(c.header, c.size);
    EXPECT_EQ(range.kind, c.kind);
    if (c.kind == ByteRange::PART)
    {
        EXPECT_EQ(std::make_pair(range.first, range.length), std::make_pair(c.first, c.length));
    }
    if (c.kind != ByteRange::WHOLE)
    {
        EXPECT_EQ(range.ContentRange(c.size), c.contentRange);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, ByteRangeTest,
    ::testing::Values(
        // first bytes, middle, to the end, suffix
        RangeCase{"bytes=0-9", 1000, ByteRange::PART, 0, 10, "bytes 0-9/1000"},
        RangeCase{"bytes=0-0", 1000, ByteRange::PART, 0, 1, "bytes 0-0/1000"},
        RangeCase{"bytes=100-199", 1000, ByteRange::PART, 100, 100, "bytes 100-199/1000"},
        RangeCase{"bytes=990-", 1000, ByteRange::PART, 990, 10, "bytes 990-999/1000"},
        RangeCase{"bytes=-25", 1000, ByteRange::PART, 975, 25, "bytes 975-999/1000"},
        RangeCase{"Bytes = 5 - 6 ", 1000, ByteRange::PART, 5, 2, "bytes 5-6/1000"},
        // past the end: a last byte beyond it stops there, a first byte beyond it is unsatisfiable
        RangeCase{"bytes=995-5000", 1000, ByteRange::PART, 995, 5, "bytes 995-999/1000"},
        RangeCase{"bytes=-5000", 1000, ByteRange::PART, 0, 1000, "bytes 0-999/1000"},
        RangeCase{"bytes=1000-", 1000, ByteRange::UNSATISFIABLE, 0, 0, "bytes */1000"},
        RangeCase{"bytes=1000-1001", 1000, ByteRange::UNSATISFIABLE, 0, 0, "bytes */1000"},
        RangeCase{"bytes=-0", 1000, ByteRange::UNSATISFIABLE, 0, 0, "bytes */1000"},
        RangeCase{"bytes=0-", 0, ByteRange::UNSATISFIABLE, 0, 0, "bytes */0"},
        RangeCase{"bytes=-1", 0, ByteRange::UNSATISFIABLE, 0, 0, "bytes */0"},
        RangeCase{"bytes=18446744073709551615-", 1000, ByteRange::UNSATISFIABLE, 0, 0, "bytes */1000"},
        // numbers beyond 64 bits read as they would just below: past any end
        RangeCase{"bytes=99999999999999999999-", 1000, ByteRange::UNSATISFIABLE, 0, 0, "bytes */1000"},
        RangeCase{"bytes=18446744073709551616-18446744073709551617", 1000, ByteRange::UNSATISFIABLE, 0, 0,
                  "bytes */1000"},
        RangeCase{"bytes=10-18446744073709551616", 1000, ByteRange::PART, 10, 990, "bytes 10-999/1000"},
        RangeCase{"bytes=10-18446744073709551615", 1000, ByteRange::PART, 10, 990, "bytes 10-999/1000"},
        RangeCase{"bytes=-99999999999999999999", 1000, ByteRange::PART, 0, 1000, "bytes 0-999/1000"},
        // several ranges, other units and what is no range at all: the whole file
        RangeCase{"bytes=0-1,5-6", 1000, ByteRange::WHOLE, 0, 0, ""},
        RangeCase{"bytes=0-1, 2000-3000", 1000, ByteRange::WHOLE, 0, 0, ""},
        RangeCase{"items=0-1", 1000, ByteRange::WHOLE, 0, 0, ""},
        RangeCase{"bytes=9-5", 1000, ByteRange::WHOLE, 0, 0, ""},
        RangeCase{"bytes=-", 1000, ByteRange::WHOLE, 0, 0, ""},
        RangeCase{"bytes=a-b", 1000, ByteRange::WHOLE, 0, 0, ""},
        RangeCase{"bytes=+1-2", 1000, ByteRange::WHOLE, 0, 0, ""},
        RangeCase{"0-9", 1000, ByteRange::WHOLE, 0, 0, ""},
        RangeCase{"", 1000, ByteRange::WHOLE, 0, 0, ""}));
