#include <gtest/gtest.h>
#include "json/Json.h"

using namespace Ostrel;

TEST(JsonBlockTest, SetGetAddRemove)
{
    JsonBlock block;
    block.Set("a") = 1;
    EXPECT_EQ(block.Set("a").GetIntData(), 1); // existing member, not a new one
    EXPECT_EQ(block.GetNumElements(), 1u);
    block.Add("b") = "x";
    EXPECT_THROW(block.Add("b"), JsonLabelAlreadyExistsException);
    EXPECT_THROW(block += JsonElement("a", 2), JsonLabelAlreadyExistsException);
    EXPECT_THROW(block.Get("c"), JsonLabelDoesNotExistException);
    EXPECT_TRUE(block.DoesExist("b"));
    EXPECT_FALSE(block.DoesExist("B"));

    block.Remove("a");
    EXPECT_FALSE(block.DoesExist("a"));
    EXPECT_THROW(block.Remove("a"), JsonLabelDoesNotExistException);
    EXPECT_THROW(block -= "a", JsonLabelDoesNotExistException);
    EXPECT_FALSE(block.TryRemove("a"));
    EXPECT_TRUE(block.TryRemove("b"));
    EXPECT_EQ(block.GetNumElements(), 0u);
}

TEST(JsonBlockTest, SetElementOverwritesInPlace)
{
    // Labels equal but for case render in stored order, which shows the position kept.
    JsonBlock block({{"B", 1}, {"b", 2}});
    block.Set(JsonElement("B", JsonBlock({{"x", true}})));
    EXPECT_EQ(block.Render(0, true), R"({"B":{"x":true},"b":2})");
    block.Set(JsonElement("new", 3));
    EXPECT_EQ(block.Render(0, true), R"({"B":{"x":true},"b":2,"new":3})");
}

TEST(JsonBlockTest, MemberVectorWithARepeatedLabelThrows)
{
    try
    {
        JsonBlock block({{"a", 1}, {"b", 2}, {"a", 3}});
        FAIL();
    }
    catch (const JsonLabelAlreadyExistsException& e)
    {
        EXPECT_EQ(e.what(), std::string(JsonLabelAlreadyExistsException("a").what()));
    }
}

TEST(JsonBlockTest, OperatorsIndexAndAdd)
{
    JsonBlock block;
    block["n"] = 1;
    block += "m";
    EXPECT_EQ(block["m"].GetDataType(), NULL_);
    const JsonBlock& constant = block;
    EXPECT_EQ(constant["n"].GetIntData(), 1);
    EXPECT_THROW(constant["zz"], JsonLabelDoesNotExistException);
    block -= "m";
    EXPECT_EQ(block.GetNumElements(), 1u);
    EXPECT_TRUE(block == JsonBlock({{"n", 1}}));
    EXPECT_TRUE(block != JsonBlock({{"n", 2}}));
    block.Clear()["fresh"] = 2;
    EXPECT_EQ(block.GetNumElements(), 1u);
}

TEST(JsonBlockTest, CopiesAreDeepAndIndependent)
{
    JsonBlock original({{"inner", JsonBlock({{"v", 1}})}, {"list", std::vector<JsonData>{1, 2}}});
    JsonBlock copy(original);
    JsonBlock assigned;
    assigned = original;
    JsonBlock cloned;
    original.CloneTo(cloned);

    copy["inner"]["v"] = 2;
    assigned["list"].GetArrayData().Add(3);
    cloned.Remove("inner");
    EXPECT_EQ(original["inner"]["v"].GetIntData(), 1);
    EXPECT_EQ(original["list"].GetArrayData().Size(), 2u);
    EXPECT_TRUE(original.DoesExist("inner"));
}

TEST(JsonBlockTest, SelfAndDescendantCloning)
{
    JsonBlock block({{"a", JsonBlock({{"b", 1}})}, {"c", 2}});
    const JsonBlock& self = block;
    block = self;
    EXPECT_EQ(block.Render(0, true), R"({"a":{"b":1},"c":2})");
    block.CloneFrom(block["a"].GetJsonData());
    EXPECT_EQ(block.Render(0, true), R"({"b":1})");
}

TEST(JsonBlockTest, ValuesOfAnAttachedBlockPointAtItsNode)
{
    JsonData holder(JSON);
    JsonBlock& block = holder.GetJsonData();
    block.Add(JsonElement("added", 1));
    block.Set("set");
    block.CloneFrom(JsonBlock({{"cloned", 1}}));
    block.Add("later");
    for (const char* label : {"cloned", "later"})
        EXPECT_EQ(&block[label].GetParent(), &holder) << label;

    JsonBlock loose;
    loose.Add("x");
    EXPECT_FALSE(loose["x"].HasParent());
}

TEST(JsonElementTest, ConstructorsAndCopies)
{
    EXPECT_EQ(JsonElement("a").GetData()->GetDataType(), NULL_);
    EXPECT_EQ(JsonElement("a", 5).GetData()->GetDataType(), INT);
    EXPECT_EQ(JsonElement("a", 5LL).GetData()->GetDataType(), INT);
    EXPECT_EQ(JsonElement("a", 5.0).GetData()->GetDataType(), FLOAT);
    EXPECT_EQ(JsonElement("a", 5.0L).GetData()->GetDataType(), FLOAT);
    EXPECT_EQ(JsonElement("a", "s").GetData()->GetDataType(), STRING);
    EXPECT_EQ(JsonElement("a", std::string("s")).GetData()->GetDataType(), STRING);
    EXPECT_EQ(JsonElement("a", false).GetData()->GetDataType(), BOOL);
    EXPECT_EQ(JsonElement("a", JsonData(1)).GetData()->GetDataType(), INT);
    EXPECT_EQ(JsonElement("a", JsonArray()).GetData()->GetDataType(), ARRAY);
    EXPECT_EQ(JsonElement("a", std::vector<JsonData>{1}).GetData()->GetDataType(), ARRAY);

    JsonElement original("label", JsonBlock({{"x", 1}}));
    JsonElement copy(original);
    (*copy.GetData())["x"] = 2;
    EXPECT_EQ(copy.GetLabel(), "label");
    EXPECT_EQ((*original.GetData())["x"].GetIntData(), 1);
    copy = copy;
    copy = original;
    EXPECT_EQ((*copy.GetData())["x"].GetIntData(), 1);

    copy.SetJsonDataPointer(new JsonData("replaced"));
    EXPECT_EQ(copy.GetData()->GetStringData(), "replaced");
    copy.SetJsonDataPointer(copy.GetData()); // the same value again is kept, not freed
    EXPECT_EQ(copy.GetData()->GetStringData(), "replaced");
}
