#include <gtest/gtest.h>
#include "json/Json.h"

using namespace Ostrel;

static JsonArray Parsed(const std::string& text)
{
    JsonArray array;
    array.Parse(text);
    return array;
}

namespace
{
struct SortCase
{
    std::string name;
    std::string items;
    JSON_ARRAY_SORT_MODE mode;
    std::string sorted;
};
}

class SortTest : public ::testing::TestWithParam<SortCase>
{
};

TEST_P(SortTest, SortsByOwnValues)
{
    JsonArray array = Parsed(GetParam().items);
    array.Sort(GetParam().mode);
    EXPECT_EQ(array.Render(0, true), GetParam().sorted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SortTest,
    ::testing::Values(SortCase{"NumericAscending", "[3,1,2]", NUMERICAL_ASCENDING, "[1,2,3]"},
                      SortCase{"NumericDescending", "[3,1,2]", NUMERICAL_DESCENDING, "[3,2,1]"},
                      SortCase{"TrueCountsAsOne", "[true,0.5,2]", NUMERICAL_ASCENDING, "[0.5,true,2]"},
                      SortCase{"EqualNumbersChangePlaces", "[1,true]", NUMERICAL_ASCENDING, "[true,1]"},
                      SortCase{"EqualNumbersDescending", "[false,0,1]", NUMERICAL_DESCENDING, "[1,0,false]"},
                      SortCase{"IncomparableNumbersReverse", "[\"x\",null,1]", NUMERICAL_ASCENDING, "[1,null,\"x\"]"},
                      SortCase{"AlphabeticalAscending", R"(["b","A","c"])", ALPHABETICAL_ASCENDING, R"(["A","b","c"])"},
                      SortCase{"AlphabeticalDescending", R"(["b","A","c"])", ALPHABETICAL_DESCENDING, R"(["c","b","A"])"},
                      SortCase{"EqualTextsKeepTheirOrder", R"(["a","A"])", ALPHABETICAL_ASCENDING, R"(["a","A"])"},
                      SortCase{"RenderedTexts", R"([10,9,"a",null,true,2.5])", ALPHABETICAL_ASCENDING,
                               R"([10,2.5,9,"a",null,true])"},
                      SortCase{"ContainerIsIncomparable", R"([{"k":1},"b","a"])", ALPHABETICAL_ASCENDING,
                               R"(["a","b",{"k":1}])"},
                      SortCase{"ContainersReverse", "[[1],[2],[3]]", NUMERICAL_ASCENDING, "[[3],[2],[1]]"},
                      SortCase{"MixedContainersReverse", R"([{"a":1},[2],{"b":3}])", ALPHABETICAL_DESCENDING,
                               R"([{"b":3},[2],{"a":1}])"},
                      SortCase{"UnknownModeReverses", "[1,2,3]", static_cast<JSON_ARRAY_SORT_MODE>(7), "[3,2,1]"},
                      SortCase{"Empty", "[]", NUMERICAL_ASCENDING, "[]"}),
    [](const auto& info) { return info.param.name; });

TEST(ArrayOperationsTest, EqualIntAndFloatChangePlaces)
{
    JsonArray array(std::vector<JsonData>{5, 5.0});
    array.Sort(NUMERICAL_ASCENDING);
    EXPECT_EQ(array[0].GetDataType(), FLOAT);
    EXPECT_EQ(array[1].GetDataType(), INT);
}

namespace
{
struct PathSortCase
{
    std::string name;
    std::string items;
    std::string shorthand;
    std::string delimiter;
    JSON_ARRAY_SORT_MODE mode;
    std::string sorted;
};
}

class PathSortTest : public ::testing::TestWithParam<PathSortCase>
{
};

TEST_P(PathSortTest, SortsBlocksByTheValueAtAPath)
{
    const PathSortCase& c = GetParam();
    JsonArray array = Parsed(c.items);
    array.Sort(c.shorthand, c.mode, c.delimiter);
    EXPECT_EQ(array.Render(0, true), c.sorted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PathSortTest,
    ::testing::Values(PathSortCase{"NewestFirst", R"([{"t":1},{"t":3},{"t":2}])", "t", ".", NUMERICAL_DESCENDING,
                                   R"([{"t":3},{"t":2},{"t":1}])"},
                      PathSortCase{"NestedPath", R"([{"m":{"t":2}},{"m":{"t":1}}])", "m.t", ".", NUMERICAL_ASCENDING,
                                   R"([{"m":{"t":1}},{"m":{"t":2}}])"},
                      PathSortCase{"OtherDelimiter", R"([{"m":{"t":"b"}},{"m":{"t":"a"}}])", "m/t", "/",
                                   ALPHABETICAL_ASCENDING, R"([{"m":{"t":"a"}},{"m":{"t":"b"}}])"},
                      PathSortCase{"MissingPathReverses", R"([{"a":1},{"a":2},{"a":3}])", "t", ".", NUMERICAL_ASCENDING,
                                   R"([{"a":3},{"a":2},{"a":1}])"},
                      PathSortCase{"NonBlocksAreIncomparable", R"([{"t":2},5,{"t":1}])", "t", ".", NUMERICAL_ASCENDING,
                                   R"([{"t":1},5,{"t":2}])"}),
    [](const auto& info) { return info.param.name; });

TEST(ArrayOperationsTest, SortCompareDirectly)
{
    EXPECT_TRUE(JsonArray::Sort__Compare(2, 1, NUMERICAL_ASCENDING));
    EXPECT_TRUE(JsonArray::Sort__Compare(1, 1.0, NUMERICAL_ASCENDING));
    EXPECT_FALSE(JsonArray::Sort__Compare(1, 2, NUMERICAL_ASCENDING));
    EXPECT_TRUE(JsonArray::Sort__Compare(1, "2", NUMERICAL_DESCENDING));
    EXPECT_FALSE(JsonArray::Sort__Compare("a", "A", ALPHABETICAL_DESCENDING));
    EXPECT_TRUE(JsonArray::Sort__Compare("a", JsonData(ARRAY), ALPHABETICAL_ASCENDING));
}

TEST(ArrayOperationsTest, Swap)
{
    JsonArray array = Parsed("[1,2,3]");
    array.Swap(0, 2);
    EXPECT_EQ(array.Render(0, true), "[3,2,1]");
    EXPECT_THROW(array.Swap(0, 3), std::out_of_range);
    EXPECT_THROW(array.Swap(3, 0), std::out_of_range);
    EXPECT_EQ(array.Render(0, true), "[3,2,1]");
}

TEST(ArrayOperationsTest, MergeAppendsDeepCopies)
{
    JsonArray array = Parsed("[1,2]");
    array.Merge(array);
    EXPECT_EQ(array.Render(0, true), "[1,2,1,2]");

    JsonData holder(ARRAY);
    JsonArray other = Parsed(R"([{"k":1}])");
    holder.GetArrayData().Merge(other);
    other[0]["k"] = 2;
    EXPECT_EQ(holder.Render(true), R"([{"k":1}])");
    EXPECT_EQ(&holder[0].GetParent(), &holder);
}

TEST(ArrayOperationsTest, RemoveAt)
{
    JsonArray array = Parsed("[1,2,3]");
    try
    {
        array.RemoveAt(3);
        FAIL();
    }
    catch (const JsonArrayOutOfRangeException& e)
    {
        EXPECT_STREQ(e.what(), JsonArrayOutOfRangeException(3, 3).what());
    }
    array.RemoveAt(1);
    EXPECT_EQ(array.Render(0, true), "[1,3]");
}

TEST(ArrayOperationsTest, RemovalsByValueAndType)
{
    JsonArray array = Parsed(R"([1,"1",1.0,2])");
    EXPECT_EQ(array.RemoveSimilar(1), 2u);
    EXPECT_EQ(array.Render(0, true), R"(["1",2])");

    array = Parsed(R"([1,"x",null,2])");
    EXPECT_EQ(array.RemoveAllExceptType(INT), 2u);
    EXPECT_EQ(array.Render(0, true), "[1,2]");

    array = Parsed(R"([null,"a",null,[null]])");
    EXPECT_EQ(array.RemoveAllOfType(NULL_), 2u);
    EXPECT_EQ(array.Render(0, true), R"(["a",[null]])");
}

TEST(ArrayOperationsTest, SubtractionOperators)
{
    JsonArray array = Parsed(R"([1,"a","b",3,null,{"k":1},4])");
    array -= 1;
    array -= "a";
    array -= std::string("b");
    array -= 3LL;
    array -= NULL_;
    (array -= JsonData(JsonBlock({{"k", 1}}))) -= 9;
    EXPECT_EQ(array.Render(0, true), "[4]");
}

TEST(ArrayOperationsTest, IdentityNeedsEqualTypes)
{
    EXPECT_FALSE(Parsed("[1]").IsIdentical(Parsed("[1.0]")));
    EXPECT_TRUE(Parsed("[]") == Parsed("[]"));
    EXPECT_TRUE(Parsed("[1,\"a\"]") == Parsed("[1,\"a\"]"));
    EXPECT_TRUE(Parsed("[1]") != Parsed("[1,1]"));
    EXPECT_TRUE(Parsed("[1,2]") != Parsed("[2,1]"));
}
