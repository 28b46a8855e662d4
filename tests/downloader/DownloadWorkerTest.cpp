#include <filesystem>
#include <fstream>
#include "DownloadManagerFixture.h"

using namespace Downloader;
using TestSupport::ReadRaw;

namespace
{
    std::string Buffer(const std::string& id)
    {
        return ReadRaw("dlcache/dlprogbuf/" + id + ".buf");
    }

}

struct ModeCase
{
    DOWNLOAD_MODE mode;
    std::vector<std::string> modeOptions;
    std::string extension;
};

class WholeRoadTest : public DownloadManagerTest, public ::testing::WithParamInterface<ModeCase>
{
};

TEST_P(WholeRoadTest, QueueStartProgressFinishSaveAndReload)
{
    const std::string url = Held("road");
    const std::string id = Queue(url, GetParam().mode);

    DownloadManager::Update();
    EXPECT_EQ(Status(id), DOWNLOADING);
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).downloaded_filename,
              "dlcache/download/" + id + "." + GetParam().extension);

    // The progress reader follows the buffer file while the program still runs.
    ASSERT_TRUE(WaitUntil([&] { return Buffer(id).find("[download] 100%") != std::string::npos; }));
    DownloadManager::Update();
    EXPECT_EQ(Progress(id), 100);
    EXPECT_EQ(Status(id), DOWNLOADING);

    Release("road");
    ASSERT_TRUE(PassUntil([&] { return std::filesystem::exists("dlcache/index.json"); }));
    EXPECT_EQ(IndexFileIds(), std::vector<std::string>{id});
    const Ostrel::JsonArray listing = DownloadManager::GetAlltimeCacheAsJson(-1, -1);
    ASSERT_EQ(listing.Size(), 1u);
    EXPECT_EQ(listing.At(0).GetJsonData().Get("status").GetStringData(), "finished");
    EXPECT_TRUE(std::filesystem::exists("dlcache/download/" + id + "." + GetParam().extension));

    std::vector<std::string> expected = {"--newline", "--no-call-home", "--no-playlist", "--no-part", "--no-warnings",
                                         "--socket-timeout", "5", "--limit-rate", "100M", "--no-mtime",
                                         "--no-cache-dir"};
    expected.insert(expected.end(), GetParam().modeOptions.begin(), GetParam().modeOptions.end());
    expected.insert(expected.end(), {"-o", "dlcache/download/" + id + ".%(ext)s", "--", url});
    ASSERT_EQ(fake.Calls().size(), 2u);
    EXPECT_EQ(fake.Calls()[1], expected);

    DownloadManager::OnExit();
    EXPECT_FALSE(std::filesystem::exists("dlcache/dlprogbuf"));
    EXPECT_TRUE(std::filesystem::exists("dlcache/metadata/" + id + ".json"));
    EXPECT_TRUE(std::filesystem::exists("dlcache/download/" + id + "." + GetParam().extension));

    DownloadManager::PostExit();
    DownloadManager::PreInit();
    EXPECT_EQ(Status(id), FINISHED);
    EXPECT_EQ(Progress(id), 100);
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).mode, GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(Modes, WholeRoadTest,
                         ::testing::Values(ModeCase{VIDEO, {"--recode-video", "mp4", "--prefer-ffmpeg"}, "mp4"},
                                           ModeCase{AUDIO,
                                                    {"--audio-format", "mp3", "--audio-quality", "0",
                                                     "--extract-audio"},
                                                    "mp3"}));

struct ThreadCountCase
{
    int32_t num_threads;
    std::vector<std::vector<DOWNLOAD_STATUS>> afterEachPass;
};

class ThreadCountTest : public DownloadManagerTest, public ::testing::WithParamInterface<ThreadCountCase>
{
};

TEST_P(ThreadCountTest, StartsInQueueOrderOneWorkerPerPass)
{
    XGConfig::downloader.num_threads = GetParam().num_threads;
    const std::vector<std::string> ids = {Queue(Held("a")), Queue(Held("b")), Queue(Held("c"))};

    for (const std::vector<DOWNLOAD_STATUS>& expected : GetParam().afterEachPass)
    {
        DownloadManager::Update();
        EXPECT_EQ((std::vector<DOWNLOAD_STATUS>{Status(ids[0]), Status(ids[1]), Status(ids[2])}), expected);
    }
}

constexpr DOWNLOAD_STATUS Q = QUEUED;
constexpr DOWNLOAD_STATUS D = DOWNLOADING;
INSTANTIATE_TEST_SUITE_P(Counts, ThreadCountTest,
                         ::testing::Values(ThreadCountCase{0, {{Q, Q, Q}, {Q, Q, Q}, {Q, Q, Q}}},
                                           ThreadCountCase{-1, {{Q, Q, Q}, {Q, Q, Q}}},
                                           ThreadCountCase{1, {{D, Q, Q}, {D, Q, Q}, {D, Q, Q}}},
                                           ThreadCountCase{2, {{D, Q, Q}, {D, D, Q}, {D, D, Q}}}));

TEST_F(DownloadManagerTest, NextDownloadStartsOnlyWhenTheFirstIsNoLongerDownloading)
{
    const std::string a = Queue(Held("a"));
    const std::string b = Queue(Held("b"));
    DownloadManager::Update();

    Release("a");
    ASSERT_TRUE(PassUntil([&] { return Status(b) == DOWNLOADING; }));
    EXPECT_NE(Status(a), DOWNLOADING);
}

TEST_F(DownloadManagerTest, FailingDownloadIsMarkedAndNeverSaved)
{
    const std::string id = Queue("https://example.com/v?fake_fail=download");

    ASSERT_TRUE(PassUntil([&] { return Status(id) == FAILED; }));
    for (int pass = 0; pass < 5; pass++)
        DownloadManager::Update();

    EXPECT_EQ(Progress(id), -1);
    EXPECT_FALSE(std::filesystem::exists("dlcache/index.json"));
    EXPECT_EQ(MessagesSinceStart(), std::vector<std::string>{notLoaded});
}

// The conversion's last line marks the entry finished while its program still runs: the next
// download may start, a save leaves the entry alone, and the program's exit decides.
class PostProcessingTest : public DownloadManagerTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(PostProcessingTest, EndLineFinishesEarlyButTheExitDecides)
{
    const bool exitFails = GetParam();
    const std::string a = Queue(Held("a", std::string("&fake_postprocess=1") + (exitFails ? "&fake_fail=exit" : "")));
    const std::string b = Queue("https://example.com/b");
    DownloadManager::Update();
    ASSERT_TRUE(WaitUntil([&] { return Buffer(a).find("Deleting original file") != std::string::npos; }));

    DownloadManager::Update();
    EXPECT_EQ(Status(a), FINISHED);
    EXPECT_EQ(Status(b), QUEUED);

    ASSERT_TRUE(PassUntil([&] { return std::filesystem::exists("dlcache/index.json"); }));
    EXPECT_EQ(IndexFileIds(), std::vector<std::string>{b});
    EXPECT_EQ(Status(a), FINISHED);

    Release("a");
    if (exitFails)
    {
        ASSERT_TRUE(PassUntil([&] { return Status(a) == FAILED; }));
        EXPECT_EQ(Progress(a), -1);
        for (int pass = 0; pass < 5; pass++)
            DownloadManager::Update();
        EXPECT_EQ(IndexFileIds(), std::vector<std::string>{b});
    }
    else
    {
        ASSERT_TRUE(PassUntil([&] { return IndexFileIds().size() == 2; }));
        EXPECT_EQ(IndexFileIds(), (std::vector<std::string>{b, a}));
    }
}

INSTANTIATE_TEST_SUITE_P(ExitStatus, PostProcessingTest, ::testing::Values(false, true));

TEST_F(DownloadManagerTest, ShutDownWaitsForRunningWorkersAndSavesInReverseQueueOrder)
{
    XGConfig::downloader.num_threads = 2;
    const std::string a = Queue(Held("a"));
    const std::string b = Queue(Held("b"));
    ASSERT_TRUE(PassUntil([&] { return DownloadManager::GetNumActiveDownloads() == 2; }));
    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Release("a");
        Release("b");
    });

    DownloadManager::OnExit();
    releaser.join();

    EXPECT_EQ(MessagesSinceStart(),
              (std::vector<std::string>{notLoaded, "Saving...", "Waiting for active download threads to finish before saving...",
                                        "All threads have finished. Now saving...", "Saved!"}));
    EXPECT_EQ(IndexFileIds(), (std::vector<std::string>{b, a}));
}

TEST_F(DownloadManagerTest, ShutDownWithoutWorkersDoesNotSayItWaits)
{
    DownloadManager::OnExit();
    EXPECT_EQ(MessagesSinceStart(),
              (std::vector<std::string>{notLoaded, "Saving...", "Saved!"}));
    EXPECT_EQ(ReadRaw("dlcache/index.json"), "[]");
}

TEST_F(DownloadManagerTest, ProgressIsReadOnlyEveryThreeSecondsWhileDownloading)
{
    const std::string id = Queue(Held("a"));
    DownloadManager::Update();
    ASSERT_TRUE(WaitUntil([&] { return Buffer(id).find("[download] 100%") != std::string::npos; }));
    DownloadManager::Update();
    ASSERT_EQ(Progress(id), 100);

    std::ofstream(("dlcache/dlprogbuf/" + id + ".buf").c_str(), std::ios::app)
        << "[download]  12.0% of 1.00MiB at 1.00MiB/s ETA 00:01\n";
    now += 2;
    DownloadManager::Update();
    EXPECT_EQ(Progress(id), 100);
    now += 1;
    DownloadManager::Update();
    EXPECT_EQ(Progress(id), 12);
}
