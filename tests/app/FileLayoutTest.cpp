#include <gtest/gtest.h>
#include <optional>
#include <string>
#include "app/FileLayout.h"

TEST(FileLayoutTest, TheDownloadRouteNamesAnIdOnlyAfterItsSlash)
{
    struct Case
    {
        std::string path;
        bool isRoute;
        std::optional<std::string> id;
    };
    const Case cases[] = {
        {"/download/1LGxWa", true, "1LGxWa"},
        {"/download/", true, ""},              // an empty id, answered as an unknown one
        {"/download", true, std::nullopt},     // the route without an id
        {"/downloads/1LGxWa", false, std::nullopt},
        {"/api", false, std::nullopt},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileLayout::IsDownloadRoute(c.path), c.isRoute);
        EXPECT_EQ(FileLayout::IdOfDownloadAddress(c.path), c.id);
    }
    EXPECT_EQ(FileLayout::IdOfDownloadAddress(FileLayout::DownloadAddress("1LGxWa")), "1LGxWa");
}

TEST(FileLayoutTest, AFileBelongsToTheIdItsNameStartsWithUpToADot)
{
    struct Case
    {
        std::string fileName;
        bool belongs;
    };
    const Case cases[] = {
        {"1LGxWa.mp3", true},
        {"1LGxWa.metadata.err", true},
        {"1LGxWa", false},        // no dot: another kind of name
        {"1LGxWaX.mp3", false},   // a longer id that begins alike
        {"1LGxW.mp3", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileLayout::IsFileOf(c.fileName, "1LGxWa"), c.belongs) << c.fileName;
}
