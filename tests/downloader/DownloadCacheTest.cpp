#include <filesystem>
#include "DownloadManagerFixture.h"

using namespace Downloader;
using TestSupport::ReadRaw;

namespace
{
    bool IsEmptyDirectory(const std::string& path)
    {
        return std::filesystem::is_directory(path) && std::filesystem::is_empty(path);
    }

    int Count(const std::vector<std::string>& messages, const std::string& message)
    {
        return static_cast<int>(std::count(messages.begin(), messages.end(), message));
    }
}

class DownloadCacheTest : public DownloadManagerTest
{
protected:
    // A download that has run to its end and been saved into the index.
    std::string Finished(const std::string& name)
    {
        const std::string id = Queue("https://example.com/" + name);
        EXPECT_TRUE(PassUntil([&] { return std::filesystem::exists("dlcache/index.json") && Contains(id); }));
        return id;
    }
    static bool Contains(const std::string& id)
    {
        const std::vector<std::string> ids = IndexFileIds();
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    }
    static std::vector<std::string> Listed()
    {
        return Ids(DownloadManager::GetAlltimeCacheAsJson(-1, -1));
    }
};

struct ListingCase
{
    int64_t max_age;
    uint64_t max_num;
    size_t newest;  // how many of the newest entries the listing holds
};

class ListingTest : public DownloadCacheTest, public ::testing::WithParamInterface<ListingCase>
{
};

// Session entries of any status and index entries, newest first; an age filter on a
// newest-first list always keeps a prefix of it.
TEST_P(ListingTest, LimitsByAgeAndCount)
{
    const time_t start = now;
    Restart(R"([{"pelko_id": "i1", "queued_timestamp": )" + std::to_string(start - 10) +
            R"(}, {"pelko_id": "i3", "queued_timestamp": )" + std::to_string(start - 4000) +
            R"(}, {"pelko_id": "i2", "queued_timestamp": )" + std::to_string(start - 100) +
            R"(}, {"pelko_id": "i4", "queued_timestamp": )" + std::to_string(start - 5000) + "}]");
    const std::string queued = Queue("https://example.com/q");
    const std::string failed = Queue("https://example.com/f?fake_fail=metadata");
    const std::vector<std::string> newestFirst = {failed, queued, "i1", "i2", "i3", "i4"};

    const std::vector<std::string> listed = Ids(DownloadManager::GetAlltimeCacheAsJson(GetParam().max_age, GetParam().max_num));

    EXPECT_EQ(listed, std::vector<std::string>(newestFirst.begin(), newestFirst.begin() + GetParam().newest));
}

INSTANTIATE_TEST_SUITE_P(Limits, ListingTest,
                         ::testing::Values(ListingCase{-1, static_cast<uint64_t>(-1), 6},
                                           ListingCase{3600, static_cast<uint64_t>(-1), 4},
                                           ListingCase{12, static_cast<uint64_t>(-1), 3},
                                           ListingCase{11, static_cast<uint64_t>(-1), 2},
                                           ListingCase{0, static_cast<uint64_t>(-1), 1},
                                           ListingCase{-1, 5, 5}, ListingCase{-5, 2, 2}, ListingCase{3600, 3, 3},
                                           ListingCase{-1, 0, 0}));

TEST_F(DownloadCacheTest, ClearEmptiesEverythingAtOnceWhenNothingRuns)
{
    Finished("x");
    Queue("https://example.com/f?fake_fail=metadata");

    EXPECT_TRUE(DownloadManager::ClearDownloadCache());

    EXPECT_TRUE(Listed().empty());
    EXPECT_FALSE(std::filesystem::exists("dlcache/index.json"));
    for (const char* directory : {"dlcache/metadata", "dlcache/download", "dlcache/dlprogbuf"})
        EXPECT_TRUE(IsEmptyDirectory(directory)) << directory;
    EXPECT_EQ(Count(MessagesSinceStart(), "Clearing download cache..."), 1);
}

TEST_F(DownloadCacheTest, ClearWaitsForTheRunningDownloadThenHappensOnTheNextPass)
{
    Finished("x");
    const std::string running = Queue(Held("a"));
    ASSERT_TRUE(PassUntil([&] { return Status(running) == DOWNLOADING; }));

    EXPECT_FALSE(DownloadManager::ClearDownloadCache());
    EXPECT_EQ(Count(MessagesSinceStart(), "Download cache will be cleared as soon as possible..."), 1);
    for (int pass = 0; pass < 3; pass++)
        DownloadManager::Update();
    EXPECT_EQ(Listed().size(), 2u);

    Release("a");
    ASSERT_TRUE(PassUntil([] { return Listed().empty(); }));
    EXPECT_EQ(Count(MessagesSinceStart(), "Clearing download cache..."), 1);
    for (const char* directory : {"dlcache/metadata", "dlcache/download", "dlcache/dlprogbuf"})
        EXPECT_TRUE(IsEmptyDirectory(directory)) << directory;
}

TEST_F(DownloadCacheTest, ClearWithoutACacheDirectoryStillEmptiesTheLists)
{
    Finished("x");
    std::filesystem::remove_all("dlcache");

    EXPECT_TRUE(DownloadManager::ClearDownloadCache());

    EXPECT_TRUE(Listed().empty());
    EXPECT_TRUE(IsEmptyDirectory("dlcache/metadata"));
}

TEST_F(DownloadCacheTest, RemovingAFinishedDownloadDeletesItsFileOnce)
{
    const std::string kept = Finished("kept");
    const std::string removed = Finished("removed");
    ASSERT_TRUE(std::filesystem::exists("dlcache/download/" + removed + ".mp3"));

    EXPECT_TRUE(DownloadManager::RemoveFromCacheByID(removed));
    EXPECT_FALSE(std::filesystem::exists("dlcache/download/" + removed + ".mp3"));
    EXPECT_TRUE(std::filesystem::exists("dlcache/metadata/" + removed + ".json"));
    EXPECT_EQ(IndexFileIds(), std::vector<std::string>{kept});
    EXPECT_EQ(Listed(), std::vector<std::string>{kept});

    EXPECT_FALSE(DownloadManager::RemoveFromCacheByID(removed));
}

// Removing or clearing an entry whose worker still runs leaves the worker a live entry
// (a freed one would trip the sanitizers) and ignores its result.
class RunningEntryTest : public DownloadCacheTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(RunningEntryTest, EntryOutlivesItsListsAndItsResultIsIgnored)
{
    const bool clear = GetParam();
    const std::string id = Queue(Held("a", "&fake_postprocess=1"));
    DownloadManager::Update();
    ASSERT_TRUE(WaitUntil([&] { return ReadRaw("dlcache/dlprogbuf/" + id + ".buf").find("Deleting") != std::string::npos; }));
    DownloadManager::Update();  // the end line makes it FINISHED, so no download is active any more
    ASSERT_EQ(Status(id), FINISHED);

    if (clear)
        EXPECT_TRUE(DownloadManager::ClearDownloadCache());
    else
        EXPECT_TRUE(DownloadManager::RemoveFromCacheByID(id));
    EXPECT_FALSE(DownloadManager::DoesPelkoIDExist(id));

    const int savesBefore = Count(MessagesSinceStart(), "Saved!");
    Release("a");
    ASSERT_TRUE(PassUntil([&] { return Count(MessagesSinceStart(), "Saved!") > savesBefore; }));
    EXPECT_FALSE(DownloadManager::DoesPelkoIDExist(id));
    EXPECT_TRUE(Listed().empty());
    EXPECT_TRUE(IndexFileIds().empty());
}

INSTANTIATE_TEST_SUITE_P(RemoveOrClear, RunningEntryTest, ::testing::Values(false, true));
