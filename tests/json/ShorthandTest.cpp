#include <gtest/gtest.h>
#include "json/Json.h"

using namespace Ostrel;

class ShorthandTest : public ::testing::Test
{
protected:
    void SetUp() override { block.Parse(R"({"a":{"b":{"c":1}},"x":5})"); }

    // Runs `operation`, which must raise JsonShorthandInvalidException with this text,
    // and checks that the block did not change.
    template <typename Operation>
    void ExpectInvalid(Operation operation, const std::string& shorthand, const std::string& detail)
    {
        const std::string before = block.Render(0, true);
        try
        {
            operation();
            ADD_FAILURE() << "nothing thrown for " << shorthand;
        }
        catch (const JsonShorthandInvalidException& e)
        {
            EXPECT_STREQ(e.what(), JsonShorthandInvalidException(shorthand, detail).what());
        }
        EXPECT_EQ(block.Render(0, true), before);
    }

    JsonBlock block;
};

TEST_F(ShorthandTest, DoesShorthandExist)
{
    for (const char* path : {"a", "a.b", "a.b.c", "x"})
    {
        EXPECT_TRUE(block.DoesShorthandExist(path, ".")) << path;
        EXPECT_TRUE(block.DoesShorthandExist(path, '.')) << path;
    }
    for (const char* path : {"", "a.c", "x.y", "a.b.c.d", "a.", "A.b", ".a"})
        EXPECT_FALSE(block.DoesShorthandExist(path, ".")) << path;
}

TEST_F(ShorthandTest, ShorthandGet)
{
    EXPECT_EQ(block.ShorthandGet("a.b.c", ".").GetIntData(), 1);
    EXPECT_EQ(block.ShorthandGet("a.b", '.').Render(true), R"({"c":1})");
    const JsonBlock& constant = block;
    EXPECT_EQ(constant.ShorthandGet("x", '.').GetIntData(), 5);
    EXPECT_EQ(constant.ShorthandGet("a/b/c", "/").GetIntData(), 1);
    EXPECT_EQ(constant.ShorthandGet("ab", "").Render(true), R"({"c":1})");

    block.ShorthandGet("a.b.c", '.') = 7; // the non-const form returns the value itself
    EXPECT_EQ(block["a"]["b"]["c"].GetIntData(), 7);

    ExpectInvalid([&] { block.ShorthandGet("x.y", "."); }, "x.y", "");
    ExpectInvalid([&] { constant.ShorthandGet("a.b.c.d", '.'); }, "a.b.c.d", "");
    ExpectInvalid([&] { block.ShorthandGet("", "."); }, "", "Shorthand was empty!");
}

TEST_F(ShorthandTest, ShorthandAdd)
{
    EXPECT_EQ(block.ShorthandAdd("a.b.d", ".").GetDataType(), NULL_);
    EXPECT_EQ(block.Render(0, true), R"({"a":{"b":{"c":1,"d":null}},"x":5})");
    block.ShorthandAdd("n.m.k", '.') = "new";
    EXPECT_EQ(block.Render(0, true), R"({"a":{"b":{"c":1,"d":null}},"n":{"m":{"k":"new"}},"x":5})");
    EXPECT_EQ(&block.ShorthandGet("n.m.k", ".").GetParent(), &block.ShorthandGet("n.m", "."));

    ExpectInvalid([&] { block.ShorthandAdd("a.b.c", "."); }, "a.b.c", "Last path segment already exists! Cannot create!");
    ExpectInvalid([&] { block.ShorthandAdd("x.y", '.'); }, "x.y", "A path segment already exists and is not of type json!");
    ExpectInvalid([&] { block.ShorthandAdd("", "."); }, "", "Shorthand was empty!");
}

TEST_F(ShorthandTest, ShorthandSet)
{
    JsonData& existing = block.ShorthandSet("a.b.c", ".");
    EXPECT_EQ(&existing, &block.ShorthandGet("a.b.c", "."));
    block.ShorthandSet("p.q", '.') = 2;
    EXPECT_EQ(block.Render(0, true), R"({"a":{"b":{"c":1}},"p":{"q":2},"x":5})");

    ExpectInvalid([&] { block.ShorthandSet("x.y.z", "."); }, "x.y.z", "A path segment already exists and is not of type json!");
    ExpectInvalid([&] { block.ShorthandSet("", '.'); }, "", "Shorthand was empty!");
}

TEST_F(ShorthandTest, ShorthandRemove)
{
    ExpectInvalid([&] { block.ShorthandRemove("a.b.z", "."); }, "a.b.z", "The object to be deleted does not exist!");
    ExpectInvalid([&] { block.ShorthandRemove("x.y", '.'); }, "x.y", "The parent of the object to be deleted is not of type json!");
    ExpectInvalid([&] { block.ShorthandRemove("q.r", "."); }, "q", "");
    ExpectInvalid([&] { block.ShorthandRemove("", "."); }, "", "Shorthand was empty!");

    block.ShorthandRemove("a.b.c", ".");
    EXPECT_EQ(block.Render(0, true), R"({"a":{"b":{}},"x":5})");
    block.ShorthandRemove(".x", '.'); // an empty parent path is the block itself
    EXPECT_EQ(block.Render(0, true), R"({"a":{"b":{}}})");
    block.ShorthandRemove("a", ".");
    EXPECT_EQ(block.Render(0, true), "{}");
}

TEST_F(ShorthandTest, OtherDelimiters)
{
    block.ShorthandAdd("a/b/e", "/") = true;
    EXPECT_TRUE(block.DoesShorthandExist("a::b::e", "::"));
    block.ShorthandRemove("abe", "");
    EXPECT_FALSE(block.DoesShorthandExist("a.b.e", '.'));
}
