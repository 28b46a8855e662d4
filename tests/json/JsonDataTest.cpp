#include <gtest/gtest.h>
#include "json/Json.h"

using namespace Ostrel;

TEST(JsonDataTest, ConstructorsGiveTheMatchingType)
{
    EXPECT_EQ(JsonData().GetDataType(), NULL_);
    EXPECT_EQ(JsonData(true).GetDataType(), BOOL);
    EXPECT_EQ(JsonData(-3).GetIntData(), -3);
    EXPECT_EQ(JsonData(1LL << 40).GetIntData(), 1LL << 40);
    EXPECT_EQ(JsonData(0.5).GetDataType(), FLOAT);
    EXPECT_EQ(JsonData(0.25L).GetFloatData(), 0.25L);
    EXPECT_EQ(JsonData("text").GetStringData(), "text");
    EXPECT_EQ(JsonData(std::string("text")).GetDataType(), STRING);
    EXPECT_EQ(JsonData(JsonBlock()).GetDataType(), JSON);
    EXPECT_EQ(JsonData(JsonArray()).GetDataType(), ARRAY);
    EXPECT_EQ(JsonData(std::vector<JsonData>{1, "x"}).GetArrayData().Size(), 2u);
}

TEST(JsonDataTest, TypeConstructorGivesTheZeroValue)
{
    EXPECT_FALSE(JsonData(BOOL).GetBoolData());
    EXPECT_EQ(JsonData(INT).GetIntData(), 0);
    EXPECT_EQ(JsonData(FLOAT).GetFloatData(), 0.0L);
    EXPECT_EQ(JsonData(STRING).GetStringData(), "");
    EXPECT_EQ(JsonData(JSON).GetJsonData().GetNumElements(), 0u);
    EXPECT_EQ(JsonData(ARRAY).GetArrayData().Size(), 0u);
    EXPECT_EQ(JsonData(NULL_).GetNullData(), nullptr);
    EXPECT_EQ(JsonData(static_cast<JSON_DATA_TYPE>(9)).GetDataType(), NULL_);
}

TEST(JsonDataTest, NumbersConvertBetweenIntAndFloat)
{
    EXPECT_EQ(JsonData(2.9).GetIntData(), 2);
    EXPECT_EQ(JsonData(-2.9).GetIntData(), -2);
    const long long big = (1LL << 24) + 1;
    EXPECT_EQ(JsonData(big).GetFloatData(), static_cast<long double>(big));
    EXPECT_EQ(JsonData(1e30L).GetIntData(), std::numeric_limits<long long>::max()); // saturates
    EXPECT_EQ(JsonData(-1e30L).GetIntData(), std::numeric_limits<long long>::min());
}

static std::string WrongTypeText(std::string requested, std::string actual)
{
    return JsonWrongDataTypeException(requested, actual).what();
}

TEST(JsonDataTest, WrongTypeNamesRequestedAndActualType)
{
    try
    {
        JsonData(5).GetBoolData();
        FAIL();
    }
    catch (const JsonWrongDataTypeException& e)
    {
        EXPECT_EQ(e.what(), WrongTypeText("BOOL", "INT"));
    }
    try
    {
        JsonData("x").GetIntData();
        FAIL();
    }
    catch (const JsonWrongDataTypeException& e)
    {
        EXPECT_EQ(e.what(), WrongTypeText("INT", "STRING"));
    }
    EXPECT_THROW(JsonData(true).GetFloatData(), JsonWrongDataTypeException);
    EXPECT_THROW(JsonData(1).GetStringData(), JsonWrongDataTypeException);
    EXPECT_THROW(JsonData(1).GetArrayData(), JsonWrongDataTypeException);
    EXPECT_THROW(JsonData(1).GetNullData(), JsonWrongDataTypeException);
}

TEST(JsonDataTest, LabelIndexingCreatesOrThrows)
{
    JsonData data(JSON);
    data["new"] = 3;
    EXPECT_EQ(data.GetJsonData().GetNumElements(), 1u);
    EXPECT_EQ(data["new"].GetIntData(), 3);
    data["empty"];
    EXPECT_EQ(data["empty"].GetDataType(), NULL_);

    const JsonData& constant = data;
    EXPECT_THROW(constant["missing"], JsonLabelDoesNotExistException);

    JsonData null;
    try
    {
        null["x"];
        FAIL();
    }
    catch (const JsonWrongDataTypeException& e)
    {
        EXPECT_EQ(e.what(), WrongTypeText("JSON", "NULL"));
    }
    const JsonData& constNull = null;
    EXPECT_THROW(constNull["x"], JsonWrongDataTypeException);
}

TEST(JsonDataTest, ArrayIndexing)
{
    JsonData data(std::vector<JsonData>{10, 20});
    EXPECT_EQ(data[1].GetIntData(), 20);
    EXPECT_EQ(data[1ul].GetIntData(), 20);
    EXPECT_THROW(data[2], JsonArrayOutOfRangeException);
    EXPECT_THROW(data[-1], JsonArrayOutOfRangeException);
    EXPECT_THROW(JsonData(1)[0], JsonWrongDataTypeException);
}

TEST(JsonDataTest, AddingAnElement)
{
    JsonData data(JSON);
    JsonData& added = data += JsonElement("a", 1);
    EXPECT_EQ(added.GetIntData(), 1);
    EXPECT_THROW(data += JsonElement("a", 2), JsonLabelAlreadyExistsException);
    JsonData scalar(1);
    try
    {
        scalar += JsonElement("a");
        FAIL();
    }
    catch (const JsonWrongDataTypeException& e)
    {
        EXPECT_EQ(e.what(), WrongTypeText("JSON", "INT"));
    }
}

TEST(JsonDataTest, AssignmentsSetTypeAndValue)
{
    JsonData data;
    data = 5;
    EXPECT_EQ(data.GetDataType(), INT);
    data = 2.5;
    EXPECT_EQ(data.GetDataType(), FLOAT);
    data = "s";
    EXPECT_EQ(data.GetStringData(), "s");
    data = false;
    EXPECT_EQ(data.GetDataType(), BOOL);
    data = JsonData();
    EXPECT_EQ(data.GetDataType(), NULL_);
    data = std::vector<JsonData>{1};
    EXPECT_EQ(data.GetDataType(), ARRAY);
    data = 7LL;
    EXPECT_EQ(data.GetIntData(), 7);
}

TEST(JsonDataTest, ConversionOperators)
{
    EXPECT_TRUE(static_cast<bool>(JsonData(true)));
    EXPECT_EQ(static_cast<int>(JsonData(0x100000001LL)), 1);
    EXPECT_EQ(static_cast<long>(JsonData(7)), 7);
    EXPECT_EQ(static_cast<long long>(JsonData(2.5)), 2);
    EXPECT_EQ(static_cast<double>(JsonData(3)), 3.0);
    EXPECT_FLOAT_EQ(static_cast<float>(JsonData(0.5)), 0.5f);
    EXPECT_EQ(static_cast<std::string>(JsonData("raw \"text\"")), "raw \"text\"");
    EXPECT_EQ(static_cast<std::string>(JsonData(5)), "5");
    std::ostringstream out;
    out << JsonData("raw") << "|" << JsonData(5) << "|" << JsonData(std::vector<JsonData>{1});
    EXPECT_EQ(out.str(), "raw|5|[\n  1\n]");
}

namespace
{
struct IdentityCase
{
    std::string name;
    JsonData a;
    JsonData b;
    bool identical;
};
}

class IsIdenticalTest : public ::testing::TestWithParam<IdentityCase>
{
};

TEST_P(IsIdenticalTest, ComparesValues)
{
    EXPECT_EQ(GetParam().a.IsIdentical(GetParam().b), GetParam().identical);
    EXPECT_EQ(GetParam().b.IsIdentical(GetParam().a), GetParam().identical);
    EXPECT_EQ(GetParam().a == GetParam().b, GetParam().identical);
    EXPECT_EQ(GetParam().a != GetParam().b, !GetParam().identical);
}

static JsonData Block(std::vector<JsonElement> members)
{
    return JsonData(JsonBlock(std::move(members)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsIdenticalTest,
    ::testing::Values(IdentityCase{"IntFloatWithinPrecision", 1, 1.00000001, true},
                      IdentityCase{"IntFloatBeyondPrecision", 1, 1.000001, false},
                      IdentityCase{"FloatsWithinPrecision", 0.5, 0.50000005, true},
                      IdentityCase{"IntsExactly", 3, 3, true}, IdentityCase{"IntsDiffer", 3, 4, false},
                      IdentityCase{"BoolIsNotInt", true, 1, false}, IdentityCase{"Nulls", JsonData(), JsonData(), true},
                      IdentityCase{"StringsByBytes", "a", "A", false},
                      IdentityCase{"BlocksInAnyOrder", Block({{"a", 1}, {"b", "x"}}), Block({{"b", "x"}, {"a", 1}}), true},
                      IdentityCase{"BlocksOfOtherSize", Block({{"a", 1}}), Block({{"a", 1}, {"b", 2}}), false},
                      IdentityCase{"BlocksOfOtherLabels", Block({{"a", 1}}), Block({{"b", 1}}), false},
                      IdentityCase{"NestedIntFloat", Block({{"a", 1}}), Block({{"a", 1.0}}), true},
                      IdentityCase{"ArraysNeedEqualTypes", JsonData(std::vector<JsonData>{1}),
                                   JsonData(std::vector<JsonData>{1.0}), false}),
    [](const auto& info) { return info.param.name; });

TEST(JsonDataTest, FloatPrecisionIsClampedWithAWarning)
{
    JsonData data(1.5);
    ::testing::internal::CaptureStdout();
    data.SetFloatPrecision(0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "[Ostrel] Warning: Please only use float precisions > 0 <= 1! (0.001 would be a precision of 3 decimals) "
              "Applying OSTREL_FLOAT_MAX_PRECISION...\n");
    EXPECT_EQ(data.GetFloatPrecision(), 1e-28);

    ::testing::internal::CaptureStdout();
    data.SetFloatPrecision(5);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "[Ostrel] Warning: Please only use float precisions > 0 <= 1! (0.001 would be a precision of 3 decimals) "
              "Applying 1.0...\n");
    EXPECT_EQ(data.GetFloatPrecision(), 1.0);

    ::testing::internal::CaptureStdout();
    data.SetFloatPrecision(0.001);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(data.GetFloatPrecision(), 0.001);
}

TEST(JsonDataTest, FloatPrecisionIsInheritedThroughParents)
{
    JsonData root(JSON);
    root["inner"] = JsonBlock({{"value", 1.0}});
    root["list"] = std::vector<JsonData>{1.0};
    root.SetFloatPrecision(0.01);
    EXPECT_EQ(root["inner"]["value"].GetFloatPrecision(), 0.01);
    EXPECT_EQ(root["list"][0].GetFloatPrecision(), 0.01);
    root["list"].GetArrayData().Add(2.0);
    EXPECT_EQ(root["list"][1].GetFloatPrecision(), 0.01);
    EXPECT_EQ(JsonData(1.0).GetFloatPrecision(), 1e-7);
    EXPECT_TRUE(JsonData(1.0).IsIdentical(1.001) == false);
    EXPECT_TRUE(root["inner"]["value"].IsIdentical(JsonData(1.001)) == false); // the smaller precision wins
}

TEST(JsonDataTest, ParentLinks)
{
    JsonData root(JSON);
    JsonData& child = root["child"];
    EXPECT_FALSE(root.HasParent());
    EXPECT_THROW(root.GetParent(), JsonNoParentAvailableException);
    ASSERT_TRUE(child.HasParent());
    EXPECT_EQ(&child.GetParent(), &root);

    JsonData copy(root);
    EXPECT_EQ(&copy["child"].GetParent(), &copy); // a copy links to its own nodes
}

TEST(JsonDataTest, CopiesAreIndependent)
{
    JsonData original(JSON);
    original["list"] = std::vector<JsonData>{1, JsonData(JsonBlock({JsonElement("deep", "x")}))};
    JsonData copy(original);
    JsonData assigned;
    assigned = original;
    copy["list"][1]["deep"] = "changed";
    assigned["list"].GetArrayData().Add(3);
    EXPECT_EQ(original["list"][1]["deep"].GetStringData(), "x");
    EXPECT_EQ(original["list"].GetArrayData().Size(), 2u);
    EXPECT_TRUE(original != copy);
}

TEST(JsonDataTest, SelfAndDescendantAssignment)
{
    JsonData data(JSON);
    data["a"] = JsonBlock({{"b", 2}});
    JsonData& self = data;
    data = self;
    EXPECT_EQ(data["a"]["b"].GetIntData(), 2);
    data.CloneFrom(data);
    EXPECT_EQ(data["a"]["b"].GetIntData(), 2);

    data = data["a"]; // the source lies inside the value it replaces
    EXPECT_EQ(data["b"].GetIntData(), 2);
    data.CloneFrom(data["b"]);
    EXPECT_EQ(data.GetIntData(), 2);
}

TEST(JsonDataTest, ScalarOverAContainerKeepsTheValueUsable)
{
    JsonData data(JSON);
    data["a"] = 1;
    data = 5;
    EXPECT_EQ(data.GetIntData(), 5);
    data = JsonBlock();
    EXPECT_EQ(data.GetJsonData().GetNumElements(), 0u);
    JsonData other;
    other.CloneTo(data);
    EXPECT_EQ(data.GetDataType(), NULL_);
}

TEST(JsonDataTest, PointerSettersTakeOwnership)
{
    JsonData data;
    JsonBlock* block = new JsonBlock();
    EXPECT_EQ(data.SetJsonDataAsPointer(block), block);
    EXPECT_EQ(data.SetJsonDataAsPointer(block), block); // the same block again is kept, not freed
    EXPECT_EQ(&data.GetJsonData(), block);
    data.SetJsonDataAsPointer(new JsonBlock({{"a", 1}}));
    EXPECT_EQ(&data["a"].GetParent(), &data);
    JsonArray* array = data.SetArrayDataAsPointer(new JsonArray());
    EXPECT_EQ(&data.GetArrayData(), array);
}

TEST(JsonDataTypeTest, WordsOfTheTypes)
{
    EXPECT_EQ(JsonDataType2String(NULL_), "NULL");
    EXPECT_EQ(JsonDataType2String(ARRAY), "ARRAY");
    EXPECT_EQ(JsonDataType2String(static_cast<JSON_DATA_TYPE>(7)), "UNREGISTERED - You dun fucked up");
}
