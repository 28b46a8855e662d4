#include <filesystem>
#include <sys/stat.h>
#include "DownloadManagerFixture.h"

using namespace Downloader;
using TestSupport::ReadRaw;
using TestSupport::WriteRaw;

namespace
{
    const std::vector<std::string> metadataOptions = {"--skip-download", "--no-warnings", "--socket-timeout", "5",
                                                      "-J", "--flat-playlist", "--no-playlist", "--"};

    std::string Base62(unsigned long long value)
    {
        return Ostrel::Internal::Helpers::Base10_2_X(
            value, "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 0);
    }
}

TEST_F(DownloadManagerTest, QueuingFetchesTheMetadataIntoAQueuedEntry)
{
    const std::string url = "https://example.com/watch?v=1&fake_title=My+Song";

    const std::string id = Queue(url, VIDEO);

    EXPECT_EQ(id, Base62(now));
    std::vector<std::string> expectedArguments = metadataOptions;
    expectedArguments.push_back(url);
    EXPECT_EQ(fake.Calls(), std::vector<std::vector<std::string>>{expectedArguments});
    EXPECT_TRUE(std::filesystem::exists("dlcache/metadata/" + id + ".json"));

    const DownloadEntry& entry = DownloadManager::GetDownloadEntryByPelkoID(id);
    EXPECT_EQ(entry.status.load(), QUEUED);
    EXPECT_EQ(entry.mode, VIDEO);
    EXPECT_EQ(entry.title, "My Song");
    EXPECT_EQ(entry.uploader, "Fake Uploader");
    EXPECT_EQ(entry.description, "A video that only exists in tests.");
    EXPECT_EQ(entry.duration, 42);
    EXPECT_EQ(entry.webpage_url, url);
    EXPECT_EQ(entry.video_url, url);
    EXPECT_EQ(entry.ErrorMessage(), "");
    EXPECT_EQ(entry.thumbnail_url, "http://127.0.0.1/fake-thumbnails/b.jpg");
    EXPECT_EQ(entry.download_url, "/download/" + id);
    EXPECT_EQ(entry.queued_timestamp, now);
    EXPECT_EQ(entry.download_progress.load(), 0);
    EXPECT_EQ(DownloadManager::GetQueueLength(), 1);
}

TEST_F(DownloadManagerTest, UnusableMetadataStillQueuesAFailedEntrySayingWhy)
{
    const std::string url = "https://example.com/v?fake_fail=metadata";
    const std::string id = Queue(url);

    const DownloadEntry& entry = DownloadManager::GetDownloadEntryByPelkoID(id);
    EXPECT_EQ(entry.status.load(), FAILED);
    EXPECT_EQ(entry.download_progress.load(), 0);
    EXPECT_EQ(entry.title, "");
    EXPECT_EQ(entry.video_url, url);
    EXPECT_EQ(entry.ErrorMessage(), "ERROR: fake metadata failure for " + url);
    EXPECT_EQ(DownloadManager::GetQueueLength(), 0);
    EXPECT_EQ(MessagesSinceStart().back(), "ERROR: Download " + id + " (" + url + ") failed: ERROR: fake metadata failure for " + url);

    // A failed entry is never started.
    EXPECT_TRUE(PassUntil([] { return true; }));
    EXPECT_EQ(fake.Calls().size(), 1u);
}

TEST_F(DownloadManagerTest, MissingMetadataDirectoryFailsTheEntrySayingWhy)
{
    std::filesystem::remove_all("dlcache/metadata");

    const std::string id = Queue("https://example.com/v");
    EXPECT_EQ(Status(id), FAILED);
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).ErrorMessage(), "The downloader could not be started.");
}

// Asking whether a change is done only looks: the fetched entry joins in a commit, and the commit
// starts nothing, so what a reply reads right after it is the entry as it joined.
TEST_F(DownloadManagerTest, AChangeIsDoneOnlyThroughACommitWhichStartsNothing)
{
    now += 1;
    const std::shared_ptr<PendingChange> change = DownloadManager::StartQueueDownload({"https://example.com/v", AUDIO});
    ASSERT_TRUE(WaitUntil([&] { return fake.Calls().size() == 1; }));
    std::this_thread::sleep_for(std::chrono::seconds(1));  // far longer than the fake's fetch
    EXPECT_FALSE(DownloadManager::IsDone(*change));
    EXPECT_EQ(DownloadManager::GetAlltimeCacheAsJson(-1, -1).Size(), 0u);

    ASSERT_TRUE(WaitUntil([&] {
        DownloadManager::Commit();
        return DownloadManager::IsDone(*change);
    }));
    EXPECT_EQ(Status(change->id), QUEUED);
    EXPECT_EQ(DownloadManager::GetQueueLength(), 1);
    EXPECT_EQ(DownloadManager::GetNumActiveDownloads(), 0);

    DownloadManager::Advance();
    EXPECT_EQ(Status(change->id), DOWNLOADING);
}

// Other work goes on while metadata is fetched. One who asks runs at most three fetches at once,
// and its entries join in the order it asked, however the fetches end; someone else's fetch
// takes the fourth place and joins meanwhile, in the first second that is free.
TEST_F(DownloadManagerTest, FetchesRunBesideTheMainThreadAndJoinInTurn)
{
    XGConfig::downloader.num_threads = 0;
    std::vector<std::shared_ptr<PendingChange>> changes;
    // The second and third fetches outlast the queuing below, however slowly their programs start.
    for (const char* seconds : {"8", "3", "3", "0", "0"})
    {
        now += 1;
        changes.push_back(DownloadManager::StartQueueDownload(
            {std::string("https://example.com/v?fake_metadata_seconds=") + seconds, AUDIO}, {}, "burst"));
    }

    // The slow first fetch holds the others back; the last two wait for a free place.
    ASSERT_TRUE(WaitUntil([&] { return fake.Calls().size() == DownloadManager::maxFetches - 1; }));
    const std::shared_ptr<PendingChange> other =
        DownloadManager::StartQueueDownload({"https://example.com/other", AUDIO}, {}, "other");
    ASSERT_TRUE(WaitUntil([&] { return fake.Calls().size() == DownloadManager::maxFetches; }));
    ASSERT_TRUE(PassUntil([&] { return DownloadManager::IsDone(*other); }));
    EXPECT_EQ(other->id, Base62(now));
    EXPECT_EQ(Ids(DownloadManager::GetAlltimeCacheAsJson(-1, -1)), std::vector<std::string>{other->id});
    EXPECT_FALSE(DownloadManager::IsDone(*changes[1]));

    // Once the clock has moved on, the burst's entries take the following seconds, in the order asked.
    const time_t otherSecond = now;
    now += 10;
    ASSERT_TRUE(PassUntil([&] { return DownloadManager::IsDone(*changes.back()); }));
    std::vector<std::string> asked, expected, newestFirst;
    for (size_t i = 0; i < changes.size(); i++)
    {
        asked.push_back(changes[i]->id);
        expected.push_back(Base62(otherSecond + 1 + i));
    }
    EXPECT_EQ(asked, expected);
    newestFirst.assign(expected.rbegin(), expected.rend());
    newestFirst.push_back(other->id);
    EXPECT_EQ(Ids(DownloadManager::GetAlltimeCacheAsJson(-1, -1)), newestFirst);
    EXPECT_EQ(fake.Calls().size(), 6u);
}

// The address and every path reach the program as single arguments; no shell ever sees them.
TEST_F(DownloadManagerTest, ShellSyntaxInTheAddressReachesTheProgramVerbatim)
{
    XGConfig::downloader.max_dlrate_per_thread = "100M; touch injected-rate";
    const std::string url = "https://example.com/watch?v=\"; touch injected1; \"&x=$(touch injected2)&y=`touch "
                            "injected3`&z=' ; touch injected4 '\\";

    const std::string id = Queue(url);
    ASSERT_TRUE(PassUntil([] { return std::filesystem::exists("dlcache/index.json"); }));

    const auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].back(), url);
    EXPECT_EQ(calls[1].back(), url);
    EXPECT_EQ(calls[1][10], "100M; touch injected-rate");
    EXPECT_TRUE(std::filesystem::exists("dlcache/download/" + id + ".mp3"));
    for (const char* marker : {"injected1", "injected2", "injected3", "injected4", "injected-rate"})
        EXPECT_FALSE(std::filesystem::exists(marker)) << marker;
}

// An address that looks like an option must stay an address.
TEST_F(DownloadManagerTest, AddressStartingWithADashIsNoOption)
{
    const std::string id = Queue("--exec=touch injected");
    EXPECT_EQ(fake.Calls().at(0).back(), "--exec=touch injected");
    EXPECT_EQ(Status(id), QUEUED);
}

// A burst takes the following seconds; each entry waits for its own second before it joins.
TEST_F(DownloadManagerTest, IdsWithinOneSecondDifferAndWaitForTheNextSecond)
{
    int reads = 0;
    const time_t second = now;
    Clock::now = [&] { return ++reads <= 6 ? second : second + 1; };

    const std::string first = DownloadManager::QueueDownload({"https://example.com/1", AUDIO});
    const std::string second_ = DownloadManager::QueueDownload({"https://example.com/2", AUDIO});
    UseFixtureClock();

    EXPECT_EQ(first, Base62(second));
    EXPECT_EQ(second_, Base62(second + 1));
    EXPECT_GT(reads, 6);
}

// Ids of the index count as well as the last session entry's.
TEST_F(DownloadManagerTest, IdsNeverRepeatOneFromTheIndex)
{
    now += 10;
    Restart("[{\"pelko_id\": \"" + Base62(now + 1) + "\"}, {\"pelko_id\": \"" + Base62(now + 2) + "\"}]");
    int reads = 0;
    Clock::now = [&] { return now + 1 + (++reads / 3); };

    const std::string id = DownloadManager::QueueDownload({"https://example.com/1", AUDIO});
    UseFixtureClock();

    EXPECT_EQ(id, Base62(now + 3));
}

TEST_F(DownloadManagerTest, LookupsCoverSessionAndIndexAndCountsOnlyTheirStatus)
{
    Restart(R"([{"pelko_id": "old", "title": "From before"}])");
    const std::string queued = Queue("https://example.com/q");
    const std::string failed = Queue("https://example.com/f?fake_fail=metadata");

    EXPECT_TRUE(DownloadManager::DoesPelkoIDExist("old"));
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID("old").title, "From before");
    EXPECT_EQ(Status("old"), FINISHED);
    EXPECT_TRUE(DownloadManager::DoesPelkoIDExist(queued));
    EXPECT_FALSE(DownloadManager::DoesPelkoIDExist("OLD"));
    EXPECT_THROW(DownloadManager::GetDownloadEntryByPelkoID("nothing"), std::exception);
    EXPECT_EQ(DownloadManager::GetQueueLength(), 1);
    EXPECT_EQ(DownloadManager::GetNumActiveDownloads(), 0);
    EXPECT_EQ(Status(failed), FAILED);

    EXPECT_TRUE(DownloadManager::RemoveFromCacheByID("old"));
    EXPECT_FALSE(DownloadManager::DoesPelkoIDExist("old"));
}

struct IndexLoadCase
{
    std::string name;
    std::optional<std::string> content;  // none: no index file
    std::vector<std::string> messages;   // after the program line
    size_t entries;
};

class IndexLoadTest : public DownloadManagerTest, public ::testing::WithParamInterface<IndexLoadCase>
{
};

TEST_P(IndexLoadTest, LoadsOrReportsOnce)
{
    DownloadManager::OnExit();
    DownloadManager::PostExit();
    std::filesystem::remove("dlcache/index.json");
    if (GetParam().content)
        WriteRaw("dlcache/index.json", *GetParam().content);
    DownloadManager::PreInit(FileLayout(XGConfig::downloader.cachedir));

    EXPECT_EQ(MessagesSinceStart(), GetParam().messages);
    EXPECT_EQ(DownloadManager::GetAlltimeCacheAsJson(-1, -1).Size(), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Files, IndexLoadTest,
    ::testing::Values(
        IndexLoadCase{"Missing", std::nullopt,
                      {"Did not load download cache, because \"dlcache/index.json\" was not found."}, 0},
        IndexLoadCase{"EmptyArray", "[]", {}, 0},
        IndexLoadCase{"Invalid", "[{", {"ERROR: Unable to parse download cache index file! Invalid json!"}, 0},
        IndexLoadCase{"Object", "{}", {"ERROR: Unable to parse download cache index file! Not json-type array!"}, 0},
        IndexLoadCase{"BadElements", R"([1, {"pelko_id": "a"}, "x", {"pelko_id": "b"}])",
                      {"ERROR: Skipped 2 elements of the download cache index file \"dlcache/index.json\" that are not "
                       "json objects!"},
                      2}),
    [](const auto& info) { return info.param.name; });

TEST(DownloaderProgram, PrefersYoutubeDlThenYtDlpAndReportsNeither)
{
    TestSupport::TempDir directory{true};
    for (const char* path : {"both/youtube-dl", "both/yt-dlp", "only-yt-dlp/yt-dlp"})
    {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteRaw(path, "#!/bin/sh\n");
        chmod(path, 0755);
    }
    std::filesystem::create_directories("none");
    const char* previous = getenv("PATH");
    const std::string savedPath = previous ? previous : "";
    XGConfig::downloader.cachedir = "dlcache";

    std::vector<std::string> firstMessages;
    DOWNLOAD_STATUS withoutProgram = QUEUED;
    std::string withoutProgramReason;
    for (const char* searchPath : {"both", "only-yt-dlp", "none"})
    {
        setenv("PATH", (directory / searchPath).c_str(), 1);
        Logging::LogHistory::PreInit();
        DownloadManager::PreInit(FileLayout(XGConfig::downloader.cachedir));
        const Logging::LogEntry first = TestSupport::EntriesOf("DownloadManager").front();
        firstMessages.push_back((first.type == Logging::ERR ? "ERROR: " : "") + first.message);
        const DownloadEntry& entry = DownloadManager::GetDownloadEntryByPelkoID(
            DownloadManager::QueueDownload({"https://example.com/v", AUDIO}));
        withoutProgram = entry.status;
        withoutProgramReason = entry.ErrorMessage();
        DownloadManager::OnExit();
        DownloadManager::PostExit();
        Logging::LogHistory::PostExit();
    }
    setenv("PATH", savedPath.c_str(), 1);

    EXPECT_EQ(firstMessages,
              (std::vector<std::string>{
                  "Downloading with \"" + directory / "both/youtube-dl" + "\".",
                  "Downloading with \"" + directory / "only-yt-dlp/yt-dlp" + "\".",
                  "ERROR: Found neither youtube-dl nor yt-dlp on the search path! Every download will fail."}));
    EXPECT_EQ(withoutProgram, FAILED);
    EXPECT_EQ(withoutProgramReason, "No downloader program was found: install yt-dlp (or youtube-dl) and restart Pelko.");
}
