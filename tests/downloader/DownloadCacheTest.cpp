#include <filesystem>
#include <random>
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
    // The save of the finished download, made in the background, did not outlive the clear.
    EXPECT_FALSE(std::filesystem::exists("dlcache/index.json"));
    for (const char* directory : {"dlcache/metadata", "dlcache/download", "dlcache/dlprogbuf"})
        EXPECT_TRUE(IsEmptyDirectory(directory)) << directory;
}

TEST_F(DownloadCacheTest, ClearWithoutACacheDirectoryStillEmptiesTheLists)
{
    Finished("x");
    // The save thread may still be writing the queue after the index: let it end first.
    DownloadManager::Save();
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
    EXPECT_FALSE(std::filesystem::exists("dlcache/metadata/" + removed + ".json"));
    EXPECT_TRUE(std::filesystem::exists("dlcache/metadata/" + kept + ".json"));
    EXPECT_EQ(IndexFileIds(), std::vector<std::string>{kept});
    EXPECT_EQ(Listed(), std::vector<std::string>{kept});

    EXPECT_FALSE(DownloadManager::RemoveFromCacheByID(removed));
}

enum class Start
{
    Queued,
    Downloading,
    Finished,
    Failed
};
enum class Action
{
    Remove,
    Cancel,
    Clear
};

struct ChangeCase
{
    std::string name;
    Start start;
    Action action;
    std::string refusal;  // for a refused cancel, with ID for the id
    bool listed;          // the entry is still listed afterwards
    DOWNLOAD_STATUS statusAfter;
    std::string errorAfter;
    bool filesStay;  // the entry's files in the cache are still there
};

class ChangeTest : public DownloadCacheTest, public ::testing::WithParamInterface<ChangeCase>
{
protected:
    std::string Begin(Start start)
    {
        switch (start)
        {
        case Start::Queued:
            XGConfig::downloader.num_threads = 0;
            return Queue("https://example.com/q");
        case Start::Downloading:
        {
            const std::string id = Queue(Held("d", "&fake_child=" + ChildFile()));
            DownloadManager::Update();
            EXPECT_TRUE(WaitUntil([&] { return Progress(id) == 100 && std::filesystem::exists(ChildFile()); }));
            return id;
        }
        case Start::Finished:
            return Finished("f");
        case Start::Failed:
        {
            const std::string id = Queue("https://example.com/x?fake_fail=download");
            EXPECT_TRUE(PassUntil([&] { return Status(id) == FAILED; }));
            return id;
        }
        }
        return "";
    }

    std::string ChildFile() const { return directory / "child.pid"; }

    // The process the downloader started, which must end with it.
    bool ChildRuns() const
    {
        if (!std::filesystem::exists(ChildFile()))
            return false;
        const std::string stat = ReadRaw("/proc/" + ReadRaw(ChildFile()) + "/stat");
        return !stat.empty() && stat.find(") Z ") == std::string::npos;
    }

    static std::vector<std::string> FilesOf(const std::string& id)
    {
        std::vector<std::string> found;
        for (const char* folder : {"dlcache/metadata", "dlcache/download", "dlcache/dlprogbuf"})
            for (const auto& item : std::filesystem::directory_iterator(folder))
                if (item.path().filename().string().rfind(id + ".", 0) == 0)
                    found.push_back(item.path().string());
        return found;
    }
};

// Whatever state an entry is in, removing, cancelling or clearing it leaves no program running
// and none of its files behind (a cancel keeps the entry listed as failed), or is refused.
TEST_P(ChangeTest, LeavesNoProgramAndNoFileBehind)
{
    const ChangeCase& test = GetParam();
    const std::string id = Begin(test.start);
    ASSERT_FALSE(FilesOf(id).empty());

    switch (test.action)
    {
    case Action::Remove:
        EXPECT_TRUE(DownloadManager::RemoveFromCacheByID(id));
        break;
    case Action::Cancel:
    {
        const ChangeRequest cancel = DownloadManager::CancelDownload(id);
        if (!test.refusal.empty())
        {
            EXPECT_EQ(cancel.change, nullptr);
            std::string refusal = test.refusal;
            refusal.replace(refusal.find("ID"), 2, id);
            EXPECT_EQ(cancel.refusal, refusal);
            break;
        }
        ASSERT_NE(cancel.change, nullptr);
        EXPECT_TRUE(PassUntil([&] { return DownloadManager::IsDone(*cancel.change); }));
        break;
    }
    case Action::Clear:
        EXPECT_EQ(DownloadManager::ClearDownloadCache(), test.start != Start::Downloading);
        if (test.start == Start::Downloading)
        {
            EXPECT_EQ(Listed(), std::vector<std::string>{id});
            Release("d");
            EXPECT_TRUE(PassUntil([] { return Listed().empty(); }));
        }
        break;
    }
    // The answer comes once the program is gone.
    EXPECT_FALSE(ChildRuns());

    EXPECT_EQ(Listed(), test.listed ? std::vector<std::string>{id} : std::vector<std::string>{});
    if (test.listed)
    {
        EXPECT_EQ(Status(id), test.statusAfter);
        EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).ErrorMessage(), test.errorAfter);
    }
    // Nothing reappears once the program has had every chance to write.
    Release("d");
    for (int pass = 0; pass < 5; pass++)
        DownloadManager::Update();
    EXPECT_EQ(FilesOf(id).empty(), !test.filesStay);
}

const std::string cancelled = "Cancelled.";
const std::string failedReason = "ERROR: fake download failure for https://example.com/x?fake_fail=download";

INSTANTIATE_TEST_SUITE_P(
    StatesAndActions, ChangeTest,
    ::testing::Values(
        ChangeCase{"RemoveQueued", Start::Queued, Action::Remove, "", false, QUEUED, "", false},
        ChangeCase{"RemoveDownloading", Start::Downloading, Action::Remove, "", false, QUEUED, "", false},
        ChangeCase{"RemoveFinished", Start::Finished, Action::Remove, "", false, QUEUED, "", false},
        ChangeCase{"RemoveFailed", Start::Failed, Action::Remove, "", false, QUEUED, "", false},
        ChangeCase{"CancelQueued", Start::Queued, Action::Cancel, "", true, FAILED, cancelled, false},
        ChangeCase{"CancelDownloading", Start::Downloading, Action::Cancel, "", true, FAILED, cancelled, false},
        ChangeCase{"CancelFinished", Start::Finished, Action::Cancel,
                   "The download \"ID\" has already finished: there is nothing to cancel.", true, FINISHED, "", true},
        ChangeCase{"CancelFailed", Start::Failed, Action::Cancel,
                   "The download \"ID\" has already failed: there is nothing to cancel.", true, FAILED, failedReason,
                   true},
        ChangeCase{"ClearQueued", Start::Queued, Action::Clear, "", false, QUEUED, "", false},
        ChangeCase{"ClearDownloading", Start::Downloading, Action::Clear, "", false, QUEUED, "", false},
        ChangeCase{"ClearFinished", Start::Finished, Action::Clear, "", false, QUEUED, "", false},
        ChangeCase{"ClearFailed", Start::Failed, Action::Clear, "", false, QUEUED, "", false}),
    [](const auto& info) { return info.param.name; });

TEST_F(DownloadCacheTest, NothingStartsWhileAClearWaits)
{
    const std::string running = Queue(Held("a"));
    ASSERT_TRUE(PassUntil([&] { return Status(running) == DOWNLOADING; }));
    const std::string waiting = Queue("https://example.com/next");

    EXPECT_FALSE(DownloadManager::ClearDownloadCache());
    for (int pass = 0; pass < 5; pass++)
        DownloadManager::Update();
    EXPECT_EQ(Status(waiting), QUEUED);
}

// A clear empties what the cache holds and nothing else, and follows no link out of it.
TEST_F(DownloadCacheTest, ClearDeletesOnlyTheCachesOwnFiles)
{
    Finished("x");
    std::filesystem::create_directories("outside");
    TestSupport::WriteRaw("outside/precious.txt", "keep me");
    TestSupport::WriteRaw("dlcache/notes.txt", "the user's own");
    std::filesystem::create_directory_symlink("../../outside", "dlcache/download/link");

    EXPECT_TRUE(DownloadManager::ClearDownloadCache());

    EXPECT_EQ(ReadRaw("outside/precious.txt"), "keep me");
    EXPECT_EQ(ReadRaw("dlcache/notes.txt"), "the user's own");
    EXPECT_FALSE(std::filesystem::exists("dlcache/download/link"));
    EXPECT_TRUE(IsEmptyDirectory("dlcache/download"));
}

TEST_F(DownloadCacheTest, RetryRunsAFailedDownloadAgain)
{
    const std::string mended = directory / "mended";
    const std::string id = Queue("https://example.com/v?fake_fail=download&fake_fail_until=" + mended);
    ASSERT_TRUE(PassUntil([&] { return Status(id) == FAILED; }));
    TestSupport::WriteRaw(mended, "");

    const ChangeRequest retry = DownloadManager::RetryDownload(id);
    ASSERT_NE(retry.change, nullptr);
    EXPECT_TRUE(DownloadManager::IsDone(*retry.change));
    EXPECT_EQ(Status(id), QUEUED);
    EXPECT_EQ(Progress(id), 0);
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).ErrorMessage(), "");

    ASSERT_TRUE(PassUntil([&] { return Status(id) == FINISHED; }));
    EXPECT_EQ(fake.Calls().size(), 3u);  // one metadata run, two downloads
}

TEST_F(DownloadCacheTest, RetryFetchesDetailsThatWereNeverRead)
{
    const std::string mended = directory / "mended";
    const std::string url = "https://example.com/v?fake_fail=metadata&fake_fail_until=" + mended;
    const std::string id = Queue(url);
    ASSERT_EQ(Status(id), FAILED);
    TestSupport::WriteRaw(mended, "");

    const ChangeRequest retry = DownloadManager::RetryDownload(id);
    ASSERT_NE(retry.change, nullptr);
    EXPECT_EQ(DownloadManager::RetryDownload(id).refusal, "The download \"" + id + "\" is already being retried.");
    ASSERT_TRUE(PassUntil([&] { return DownloadManager::IsDone(*retry.change); }));
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).title, "Fake video");

    ASSERT_TRUE(PassUntil([&] { return Status(id) == FINISHED; }));
    const auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].back(), url);
}

TEST_F(DownloadCacheTest, RetryRefusesWhatHasNotFailed)
{
    const std::string finished = Finished("f");
    XGConfig::downloader.num_threads = 0;
    const std::string queued = Queue("https://example.com/q");

    EXPECT_EQ(DownloadManager::RetryDownload("nothing").refusal, "No download has the id \"nothing\".");
    EXPECT_EQ(DownloadManager::RetryDownload(queued).refusal,
              "The download \"" + queued + "\" is queued, not failed: only failed downloads can be retried.");
    EXPECT_EQ(DownloadManager::RetryDownload(finished).refusal,
              "The download \"" + finished + "\" has finished, not failed: only failed downloads can be retried.");
    EXPECT_EQ(DownloadManager::CancelDownload("nothing").refusal, "No download has the id \"nothing\".");
}

// Whatever the times, a listing is exactly the whole listing's sort and selection: histories
// with few distinct times (ties everywhere) against the plain computation on JSON.
TEST_F(DownloadCacheTest, ListingsAreTheSortOfEverythingThenTheSelection)
{
    std::mt19937 random(7);
    for (int round = 0; round < 40; round++)
    {
        std::string index = "[";
        const int records = 1 + static_cast<int>(random() % 30);
        const int distinct = 1 + static_cast<int>(random() % 6);
        for (int n = 0; n < records; n++)
            index += (n ? ", " : "") + std::string("{\"pelko_id\": \"r") + std::to_string(round) + "-" +
                     std::to_string(n) + "\", \"queued_timestamp\": " +
                     std::to_string(now - 10 * static_cast<int>(random() % distinct)) + "}";
        Restart(index + "]");

        Ostrel::JsonArray everything = DownloadManager::GetAlltimeCacheAsJson(-1, -1);
        Ostrel::JsonData parsed;
        parsed.Parse(index + "]");
        Ostrel::JsonArray plain;
        for (size_t i = 0; i < parsed.GetArrayData().Size(); i++)
            plain.Add(DownloadEntry::FromIndexRecord(parsed.GetArrayData().At(i).GetJsonData()).GetAsJson());
        plain.Sort("queued_timestamp", Ostrel::NUMERICAL_DESCENDING, ".");
        ASSERT_EQ(Ids(everything), Ids(plain)) << index;

        for (const int64_t maxAge : {-1, 0, 5, 10, 25})
            for (const uint64_t maxNum : {static_cast<uint64_t>(-1), uint64_t{0}, uint64_t{1}, uint64_t{3}})
            {
                std::vector<std::string> expected;
                for (size_t i = 0; i < plain.Size() && expected.size() < maxNum; i++)
                    if (maxAge < 0 || now - plain.At(i).GetJsonData().Get("queued_timestamp").GetIntData() <= maxAge)
                        expected.push_back(plain.At(i).GetJsonData().Get("pelko_id").GetStringData());
                EXPECT_EQ(Ids(DownloadManager::GetAlltimeCacheAsJson(maxAge, maxNum)), expected)
                    << index << " max_age " << maxAge << " max_num " << maxNum;
            }
    }
}

// A listing may be kept while the version stays: every change that a listing shows moves it.
TEST_F(DownloadCacheTest, ListingVersionMovesWithEveryChangeAListingShows)
{
    uint64_t version = DownloadManager::ListingVersion();
    const auto moved = [&version] {
        const uint64_t now = DownloadManager::ListingVersion();
        const bool changed = now != version;
        version = now;
        return changed;
    };

    const std::string id = Queue(Held("a"));
    EXPECT_TRUE(moved());  // queued
    DownloadManager::Update();
    EXPECT_TRUE(moved());  // started
    ASSERT_TRUE(WaitUntil([&] { return Progress(id) == 100; }));
    EXPECT_TRUE(moved());  // progress
    for (int pass = 0; pass < 3; pass++)
        DownloadManager::Update();
    EXPECT_FALSE(moved());  // nothing happened
    Release("a");
    ASSERT_TRUE(WaitUntil([&] { return Status(id) == FINISHED; }));
    EXPECT_TRUE(moved());  // the worker's final state, before the main thread takes it in
    ASSERT_TRUE(PassUntil([&] { return IndexFileIds().size() == 1; }));
    EXPECT_TRUE(moved());  // saved into the index
    EXPECT_TRUE(DownloadManager::ClearDownloadCache());
    EXPECT_TRUE(moved());
}
