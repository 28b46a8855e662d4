#include <filesystem>
#include <fstream>
#include "DownloadManagerFixture.h"

using namespace Downloader;
using TestSupport::ReadRaw;


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

    // The worker follows the buffer file while the program still runs.
    ASSERT_TRUE(WaitUntil([&] { return Progress(id) == 100; }));
    EXPECT_EQ(Status(id), DOWNLOADING);
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).total_bytes.load(), 1024 * 1024);

    Release("road");
    ASSERT_TRUE(PassUntil([&] { return std::filesystem::exists("dlcache/index.json"); }));
    EXPECT_EQ(IndexFileIds(), std::vector<std::string>{id});
    const Ostrel::JsonArray listing = DownloadManager::GetAlltimeCacheAsJson(-1, -1);
    ASSERT_EQ(listing.Size(), 1u);
    EXPECT_EQ(listing.At(0).GetJsonData().Get("status").GetStringData(), "finished");
    EXPECT_TRUE(std::filesystem::exists("dlcache/download/" + id + "." + GetParam().extension));

    std::vector<std::string> expected = {"--newline", "--no-call-home", "--no-playlist", "--playlist-items", "1",
                                         "--no-part", "--no-warnings", "--socket-timeout", "5", "--limit-rate",
                                         "100M", "--no-mtime", "--no-cache-dir"};
    expected.insert(expected.end(), GetParam().modeOptions.begin(), GetParam().modeOptions.end());
    expected.insert(expected.end(), {"-o", "dlcache/download/" + id + ".%(ext)s", "--", url});
    ASSERT_EQ(fake.Calls().size(), 2u);
    EXPECT_EQ(fake.Calls()[1], expected);

    DownloadManager::OnExit();
    EXPECT_FALSE(std::filesystem::exists("dlcache/dlprogbuf"));
    EXPECT_TRUE(std::filesystem::exists("dlcache/metadata/" + id + ".json"));
    EXPECT_TRUE(std::filesystem::exists("dlcache/download/" + id + "." + GetParam().extension));

    DownloadManager::PostExit();
    DownloadManager::PreInit(FileLayout(XGConfig::downloader.cachedir));
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

TEST_F(DownloadManagerTest, FailingDownloadIsMarkedWithTheProgramsReasonAndNeverSaved)
{
    const std::string url = "https://example.com/v?fake_fail=download";
    const std::string id = Queue(url);

    ASSERT_TRUE(PassUntil([&] { return Status(id) == FAILED; }));
    for (int pass = 0; pass < 5; pass++)
        DownloadManager::Update();

    EXPECT_EQ(Progress(id), -1);
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).ErrorMessage(), "ERROR: fake download failure for " + url);
    EXPECT_FALSE(std::filesystem::exists("dlcache/index.json"));
    EXPECT_EQ(MessagesSinceStart(),
              (std::vector<std::string>{notLoaded, "Started download " + id + " \"Fake video\".",
                                        "ERROR: Download " + id + " (" + url +
                                            ") failed: ERROR: fake download failure for " + url}));
}

struct ExitCase
{
    std::string switches;
    std::string error;  // after the address
};

class ExitReasonTest : public DownloadManagerTest, public ::testing::WithParamInterface<ExitCase>
{
};

// Without an "ERROR:" line of its own, the reason is how the program ended.
TEST_P(ExitReasonTest, NamesTheReason)
{
    const std::string id = Queue("https://example.com/v?" + GetParam().switches);
    ASSERT_TRUE(PassUntil([&] { return Status(id) == FAILED; }));
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).ErrorMessage(), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(Exits, ExitReasonTest,
                         ::testing::Values(ExitCase{"fake_exit=3", "The downloader ended with exit status 3."},
                                           ExitCase{"fake_exit=-9", "The downloader was ended by signal 9 (SIGKILL)."}));

// A conversion shows while it runs; the download holds its place until the program has ended,
// and the program's exit decides.
class PostProcessingTest : public DownloadManagerTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(PostProcessingTest, ConvertingUntilTheProgramEndsAndTheExitDecides)
{
    const bool exitFails = GetParam();
    const std::string a = Queue(Held("a", std::string("&fake_postprocess=1") + (exitFails ? "&fake_fail=exit" : "")));
    const std::string b = Queue("https://example.com/b");
    DownloadManager::Update();
    ASSERT_TRUE(WaitUntil([&] { return DownloadManager::GetDownloadEntryByPelkoID(a).Stage() == "converting"; }));

    for (int pass = 0; pass < 3; pass++)
        DownloadManager::Update();
    EXPECT_EQ(Status(a), DOWNLOADING);
    EXPECT_EQ(Status(b), QUEUED);

    Release("a");
    ASSERT_TRUE(PassUntil([&] { return Status(b) != QUEUED; }));
    if (exitFails)
    {
        EXPECT_EQ(Status(a), FAILED);
        EXPECT_EQ(Progress(a), -1);
        EXPECT_FALSE(std::filesystem::exists("dlcache/download/" + a + ".mp3"));
    }
    else
    {
        EXPECT_EQ(Status(a), FINISHED);
        EXPECT_EQ(IndexFileIds(), std::vector<std::string>{a});
    }
}

INSTANTIATE_TEST_SUITE_P(ExitStatus, PostProcessingTest, ::testing::Values(false, true));

TEST_F(DownloadManagerTest, ShutDownWaitsForRunningWorkersAndSavesThem)
{
    XGConfig::downloader.num_threads = 2;
    const std::string a = Queue(Held("a"));
    const std::string b = Queue(Held("b"));
    ASSERT_TRUE(PassUntil([&] { return DownloadManager::GetNumActiveDownloads() == 2; }));
    const size_t before = MessagesSinceStart().size();
    std::thread releaser([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        Release("a");
        Release("b");
    });

    DownloadManager::OnExit();
    releaser.join();

    const std::vector<std::string> messages = MessagesSinceStart();
    EXPECT_EQ(messages.at(before), "Waiting for active download threads to finish before saving...");
    EXPECT_EQ(std::vector<std::string>(messages.end() - 3, messages.end()),
              (std::vector<std::string>{"All threads have finished. Now saving...", "Saving...", "Saved!"}));
    std::vector<std::string> saved = IndexFileIds();
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(saved, (std::vector<std::string>{a, b}));
}

TEST_F(DownloadManagerTest, ShutDownWithoutWorkersDoesNotSayItWaits)
{
    DownloadManager::OnExit();
    EXPECT_EQ(MessagesSinceStart(),
              (std::vector<std::string>{notLoaded, "Saving...", "Saved!"}));
    EXPECT_EQ(ReadRaw("dlcache/index.json"), "[]");
}

// The worker reads only what the program adds, and shows size, speed and time left.
TEST_F(DownloadManagerTest, ProgressDetailsFollowTheProgramsOutput)
{
    const std::string id = Queue(Held("a"));
    DownloadManager::Update();
    const DownloadEntry& entry = DownloadManager::GetDownloadEntryByPelkoID(id);
    ASSERT_TRUE(WaitUntil([&] { return Progress(id) == 100; }));

    std::ofstream(("dlcache/dlprogbuf/" + id + ".buf").c_str(), std::ios::app)
        << "[download] Destination: more.m4a\n[download]  12.0% of 2.00MiB at 3.00MiB/s ETA 00:07\n";
    ASSERT_TRUE(WaitUntil([&] { return Progress(id) == 12; }));
    EXPECT_EQ(entry.download_speed.load(), 3 * 1024 * 1024);
    EXPECT_EQ(entry.download_eta.load(), 7);
    EXPECT_EQ(entry.total_bytes.load(), 2 * 1024 * 1024);
    EXPECT_EQ(entry.Stage(), "downloading");

    Release("a");
    ASSERT_TRUE(PassUntil([&] { return Status(id) == FINISHED; }));
    EXPECT_EQ(entry.download_speed.load(), 0);
    EXPECT_EQ(entry.download_eta.load(), -1);
}
