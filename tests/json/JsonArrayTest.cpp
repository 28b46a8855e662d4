#include <gtest/gtest.h>
#include "json/Json.h"

using namespace Ostrel;

TEST(JsonArrayTest, AddFamilyAppendsOneValueEach)
{
    JsonArray array;
    array.Add();
    array.Add(true);
    array.Add(1);
    array.Add(2LL);
    array.Add(0.5);
    array.Add(0.25L);
    array.Add("c");
    array.Add(std::string("s"));
    array.Add(JsonData(7));
    array.Add(JsonBlock({{"k", 1}}));
    array.Add(JsonArray(std::vector<JsonData>{1}));
    EXPECT_EQ(array.Render(0, true), R"([null,true,1,2,0.5,0.25,"c","s",7,{"k":1},[1]])");
    EXPECT_EQ(array.Add(3).GetIntData(), 3); // returns the new value
}

TEST(JsonArrayTest, VectorFormsAppendEveryItem)
{
    JsonArray array;
    array.Add(std::vector<bool>{true, false});
    array.Add(std::vector<int>{1});
    array.Add(std::vector<long long>{2});
    array.Add(std::vector<double>{0.5});
    array.Add(std::vector<long double>{1.5L});
    array.Add(std::vector<std::string>{"s"});
    array.Add(std::vector<JsonData>{JsonData()});
    array.Add(std::vector<JsonBlock>{JsonBlock()});
    array.Add(std::vector<JsonArray>{JsonArray()});
    EXPECT_EQ(array.Render(0, true), R"([true,false,1,2,0.5,1.5,"s",null,{},[]])");

    JsonArray more;
    more += 1;
    more += "x";
    more += std::vector<int>{2, 3};
    const std::vector<JsonData> items{4};
    more.CopyJsonDataFromVector_Pointer(&items);
    JsonBlock block({{"b", 1}});
    more.AddPointer(&block);
    more.AddPointer(&more); // a deep copy of the array as it stood
    EXPECT_EQ(more.Render(0, true), R"([1,"x",2,3,4,{"b":1},[1,"x",2,3,4,{"b":1}]])");
}

TEST(JsonArrayTest, AtChecksTheIndex)
{
    JsonArray array(std::vector<JsonData>{1, 2, 3});
    EXPECT_EQ(array.At(2).GetIntData(), 3);
    EXPECT_EQ(array[0].GetIntData(), 1);
    try
    {
        array.At(3);
        FAIL();
    }
    catch (const JsonArrayOutOfRangeException& e)
    {
        EXPECT_EQ(e.what(), std::string(JsonArrayOutOfRangeException(3, 3).what()));
    }
    const JsonArray& constant = array;
    EXPECT_THROW(constant.At(static_cast<unsigned long>(-1)), JsonArrayOutOfRangeException);
    EXPECT_EQ(constant[1].GetIntData(), 2);
}

TEST(JsonArrayTest, InsertExistingTakesOwnershipWithoutCopy)
{
    JsonData holder(ARRAY);
    JsonArray& array = holder.GetArrayData();
    JsonData* value = new JsonData(1);
    array.InsertExistingtJsonData(value);
    array.InsertExistingtJsonData(std::vector<JsonData*>{new JsonData(2), new JsonData(3)});
    EXPECT_EQ(&array.At(0), value);
    EXPECT_EQ(array.GetVector()->size(), 3u);
    EXPECT_EQ(&value->GetParent(), &holder);
    array.Clear();
    EXPECT_EQ(array.Size(), 0u);
}

TEST(JsonArrayTest, CopiesAreDeepAndIndependent)
{
    JsonArray original(std::vector<JsonData>{JsonData(JsonBlock({{"v", 1}})), 2});
    JsonArray copy(original);
    JsonArray assigned;
    assigned = original;
    JsonArray cloned;
    original.CloneTo(cloned);
    copy[0]["v"] = 5;
    assigned.Add(3);
    cloned.Clear();
    EXPECT_EQ(original.Render(0, true), R"([{"v":1},2])");

    const JsonArray& self = original;
    original = self;
    EXPECT_EQ(original.Render(0, true), R"([{"v":1},2])");
    original.CloneFrom(original);
    EXPECT_EQ(original.Render(0, true), R"([{"v":1},2])");
}

TEST(JsonArrayTest, CloningFromAnInnerArray)
{
    JsonArray array(std::vector<JsonData>{JsonData(std::vector<JsonData>{1, 2}), 3});
    array.CloneFrom(array[0].GetArrayData());
    EXPECT_EQ(array.Render(0, true), "[1,2]");
}
