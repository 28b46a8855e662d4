#include <gtest/gtest.h>
#include <type_traits>
#include "json/Json.h"

using namespace Ostrel;

static_assert(std::is_nothrow_move_constructible_v<JsonData>, "vectors of values move them when they grow");

namespace
{
JsonData Document()
{
    JsonData document;
    document.Parse(R"({"list":[{"k":1},"x"],"name":"n"})");
    return document;
}

// Every value below `value` names its holder as parent.
void ExpectParentsRight(const JsonData& value)
{
    if (value.GetDataType() == JSON)
    {
        const std::unique_ptr<std::vector<JsonElement*>> members(value.GetJsonData().GetElementsSortedByLabel());
        for (const JsonElement* member : *members)
        {
            EXPECT_EQ(&member->GetData()->GetParent(), &value);
            ExpectParentsRight(*member->GetData());
        }
    }
    else if (value.GetDataType() == ARRAY)
        for (const JsonData* item : *value.GetArrayData().GetVector())
        {
            EXPECT_EQ(&item->GetParent(), &value);
            ExpectParentsRight(*item);
        }
}
}

TEST(MoveTest, MovingAValueTakesItsTreeAndLinksItsChildren)
{
    JsonData source = Document();
    const JsonBlock* block = &source.GetJsonData();
    JsonData moved(std::move(source));
    EXPECT_EQ(&moved.GetJsonData(), block);
    EXPECT_EQ(source.GetDataType(), NULL_);
    ExpectParentsRight(moved);

    JsonData holder(JSON);
    JsonData& member = holder["m"];
    member = std::move(moved);
    EXPECT_EQ(&member.GetJsonData(), block);
    EXPECT_EQ(&member.GetParent(), &holder);
    ExpectParentsRight(holder);
    EXPECT_EQ(holder.Render(true), R"({"m":{"list":[{"k":1},"x"],"name":"n"}})");
}

TEST(MoveTest, AValueMovesOutOfItsOwnTreeAndAnAncestorIsCopiedIntoIt)
{
    JsonData document = Document();
    document = std::move(document["list"][0]);
    EXPECT_EQ(document.Render(true), R"({"k":1})");
    ExpectParentsRight(document);

    JsonData other = Document();
    other["list"][1] = std::move(other);
    EXPECT_EQ(other.Render(true), R"({"list":[{"k":1},{"list":[{"k":1},"x"],"name":"n"}],"name":"n"})");
    ExpectParentsRight(other);
}

TEST(MoveTest, ContainersAndMembersMoveWithoutCopies)
{
    JsonData document = Document();
    JsonBlock block(std::move(document.GetJsonData()));
    EXPECT_EQ(document.Render(true), "{}");
    EXPECT_EQ(JsonData(std::move(block)).Render(true), R"({"list":[{"k":1},"x"],"name":"n"})");
    block.Add(JsonElement("again", 1)); // a moved-from block is empty and usable
    EXPECT_EQ(block.Render(0, true), R"({"again":1})");

    JsonData list = Document()["list"];
    const JsonData* first = list.GetArrayData().GetVector()->front();
    JsonArray array(std::move(list.GetArrayData()));
    EXPECT_EQ(array.GetVector()->front(), first);
    EXPECT_EQ(list.GetArrayData().Size(), 0u);
    list.GetArrayData() = std::move(array);
    EXPECT_EQ(list.GetArrayData().GetVector()->front(), first);
    ExpectParentsRight(list);

    JsonElement element("e", Document());
    const JsonBlock* inner = &element.GetData()->GetJsonData();
    JsonElement taken(std::move(element));
    EXPECT_EQ(&taken.GetData()->GetJsonData(), inner);
    EXPECT_EQ(element.GetData()->GetDataType(), NULL_);
    EXPECT_FALSE(taken.GetData()->HasParent());
}

// Values handed over as rvalues go into blocks and arrays as they are.
TEST(MoveTest, StoringOperationsTakeRvaluesWithoutCopies)
{
    JsonData value = Document();
    const JsonBlock* block = &value.GetJsonData();

    JsonArray array;
    array.Add(std::move(value));
    EXPECT_EQ(&array[0].GetJsonData(), block);

    JsonBlock holder;
    JsonData& added = holder.Add(JsonElement("a", std::move(array[0])));
    EXPECT_EQ(&added.GetJsonData(), block);
    JsonData& set = holder.Set(JsonElement("b", std::move(added)));
    EXPECT_EQ(&set.GetJsonData(), block);

    std::vector<JsonData> items;
    items.push_back(std::move(set));
    JsonData fromVector(std::move(items));
    EXPECT_EQ(&fromVector[0].GetJsonData(), block);
    ExpectParentsRight(fromVector);
}

TEST(MoveTest, CopiesStayDeep)
{
    JsonData original = Document();
    JsonData copy(original);
    JsonData assigned;
    assigned = original;
    copy["list"][0]["k"] = 2;
    assigned["name"] = "changed";
    EXPECT_EQ(original.Render(true), R"({"list":[{"k":1},"x"],"name":"n"})");
    EXPECT_NE(&copy.GetJsonData(), &original.GetJsonData());
    ExpectParentsRight(copy);
    ExpectParentsRight(assigned);
}
