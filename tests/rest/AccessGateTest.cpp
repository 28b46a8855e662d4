#include <gtest/gtest.h>
#include "rest/AccessGate.h"

using Rest::AccessGate;

// Where a login may send the browser afterwards: only to a path of this site.
TEST(AccessGate, LocalPathNeverLeavesTheSite)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/", "/"},
        {"/download/abc", "/download/abc"},
        {"/#settings", "/#settings"},
        {"", "/"},
        {"//evil.example/", "/"},
        {"/\\evil.example", "/"},
        {"https://evil.example/", "/"},
        {"evil", "/"},
        {"/a\r\nSet-Cookie: x=1", "/"},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(AccessGate::LocalPath(path), expected) << path;
}

TEST(AccessGate, FormFieldDecodesTheValue)
{
    const std::string body = "next=%2Fdownload%2Fx&password=a+b%26c%3D%25&empty=&flag";
    EXPECT_EQ(AccessGate::FormField(body, "password"), "a b&c=%");
    EXPECT_EQ(AccessGate::FormField(body, "next"), "/download/x");
    EXPECT_EQ(AccessGate::FormField(body, "empty"), "");
    EXPECT_EQ(AccessGate::FormField(body, "flag"), "");
    EXPECT_EQ(AccessGate::FormField(body, "missing"), "");
    EXPECT_EQ(AccessGate::FormField("password=%zz", "password"), "");
}
