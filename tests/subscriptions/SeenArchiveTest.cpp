#include <fstream>
#include <gtest/gtest.h>
#include "subscriptions/SeenArchive.h"
#include "support/TempDir.h"

using Subscriptions::SeenArchive;

namespace
{
    std::string Text(const std::string& path)
    {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
}

TEST(SeenArchiveTest, OnlyUnseenIdentitiesAreAppendedAndTheFileReadsBack)
{
    TestSupport::TempDir dir;
    const std::string path = dir / "s.archive";
    {
        std::ofstream existing(path);
        existing << "youtube a\r\n\nyoutube b\n";
    }
    SeenArchive archive(path);
    archive.Load();
    EXPECT_EQ(archive.Size(), 2u);
    ASSERT_TRUE(archive.Record({"youtube b", "youtube c", "youtube c", "fake d"}));
    EXPECT_EQ(Text(path), "youtube a\r\n\nyoutube b\nyoutube c\nfake d\n");

    SeenArchive reread(path);
    reread.Load();
    EXPECT_EQ(reread.Size(), 4u);
    for (const char* identity : {"youtube a", "youtube b", "youtube c", "fake d"})
        EXPECT_TRUE(reread.Contains(identity)) << identity;
    EXPECT_FALSE(reread.Contains("youtube"));
}

TEST(SeenArchiveTest, AnUnwritableFileRecordsNothing)
{
    TestSupport::TempDir dir;
    SeenArchive archive(dir / "missing-folder/s.archive");
    archive.Load();
    EXPECT_FALSE(archive.Record({"youtube a"}));
    EXPECT_FALSE(archive.Contains("youtube a"));
    EXPECT_TRUE(archive.Record({}));
}
