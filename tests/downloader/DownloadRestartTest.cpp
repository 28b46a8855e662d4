#include <filesystem>
#include "DownloadManagerFixture.h"

using namespace Downloader;
using TestSupport::ReadRaw;

namespace
{
    std::vector<std::string> QueueFileIds()
    {
        Ostrel::JsonData queue;
        queue.Parse(ReadRaw("dlcache/queue.json"));
        std::vector<std::string> ids;
        for (size_t i = 0; i < queue.GetArrayData().Size(); i++)
            ids.push_back(queue.GetArrayData().At(i).GetJsonData().Get("pelko_id").GetStringData());
        return ids;
    }
}

// Every change of the session is in queue.json before it is acknowledged: queued, started,
// failed, cancelled; a finished download moves into the index, saved in the background, the
// index before the queue.
TEST_F(DownloadManagerTest, QueueFileFollowsEveryAcknowledgedChange)
{
    XGConfig::downloader.num_threads = 0;
    const std::string a = Queue("https://example.com/a");
    EXPECT_EQ(QueueFileIds(), std::vector<std::string>{a});
    const std::string b = Queue("https://example.com/b?fake_fail=metadata");
    EXPECT_EQ(QueueFileIds(), (std::vector<std::string>{a, b}));

    const ChangeRequest cancel = DownloadManager::CancelDownload(a);
    ASSERT_TRUE(cancel.change && cancel.change->done);
    EXPECT_NE(ReadRaw("dlcache/queue.json").find("\"Cancelled.\""), std::string::npos);

    ASSERT_TRUE(DownloadManager::RetryDownload(a).change->done);
    XGConfig::downloader.num_threads = 1;
    ASSERT_TRUE(PassUntil([&] { return QueueFileIds() == std::vector<std::string>{b}; }));
    EXPECT_EQ(IndexFileIds(), std::vector<std::string>{a});

    EXPECT_TRUE(DownloadManager::RemoveFromCacheByID(b));
    EXPECT_TRUE(QueueFileIds().empty());
}

// A stop by signal halts the running download; after the restart it runs again, the waiting one
// too, and the failed one is listed as failed, all of them with the current downloads.
TEST_F(DownloadManagerTest, QueuedRunningAndFailedEntriesSurviveARestart)
{
    const std::string finished = Queue("https://example.com/done");
    ASSERT_TRUE(PassUntil([&] { return Status(finished) == FINISHED; }));
    const std::string running = Queue(Held("a"));
    ASSERT_TRUE(PassUntil([&] { return Status(running) == DOWNLOADING && Progress(running) == 100; }));
    const std::string waiting = Queue("https://example.com/waiting");
    const std::string failed = Queue("https://example.com/f?fake_fail=metadata");
    const std::string reason = DownloadManager::GetDownloadEntryByPelkoID(failed).ErrorMessage();

    DownloadManager::StopDownloads();
    DownloadManager::OnExit();
    EXPECT_FALSE(std::filesystem::exists("dlcache/download/" + running + ".mp3"));
    DownloadManager::PostExit();
    now += 100;
    DownloadManager::PreInit(FileLayout(XGConfig::downloader.cachedir));

    ASSERT_FALSE(MessagesSinceStart().empty());
    EXPECT_EQ(MessagesSinceStart().back(), "Restored 3 downloads of the last run.");
    EXPECT_EQ(Status(running), QUEUED);
    EXPECT_EQ(Progress(running), 0);
    EXPECT_EQ(Status(waiting), QUEUED);
    EXPECT_EQ(Status(failed), FAILED);
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(failed).ErrorMessage(), reason);
    EXPECT_TRUE(DownloadManager::GetDownloadEntryByPelkoID(running).restored);
    EXPECT_EQ(Status(finished), FINISHED);
    // Listed with this run's downloads, though queued in the last one.
    EXPECT_EQ(Ids(DownloadManager::GetAlltimeCacheAsJson(0, static_cast<uint64_t>(-1))),
              (std::vector<std::string>{failed, waiting, running}));

    Release("a");
    ASSERT_TRUE(PassUntil([&] { return Status(running) == FINISHED && Status(waiting) == FINISHED; }));
    EXPECT_EQ(Status(failed), FAILED);
}

TEST_F(DownloadManagerTest, UnreadableQueueFileRestoresNothingAndSaysSo)
{
    DownloadManager::OnExit();
    DownloadManager::PostExit();
    TestSupport::WriteRaw("dlcache/queue.json", "[{");
    DownloadManager::PreInit(FileLayout(XGConfig::downloader.cachedir));
    ASSERT_FALSE(MessagesSinceStart().empty());
    EXPECT_EQ(MessagesSinceStart().back(),
              "ERROR: Unable to read the download queue \"dlcache/queue.json\"! Its downloads are not restored.");
    EXPECT_EQ(DownloadManager::GetAlltimeCacheAsJson(-1, -1).Size(), 0u);
}

// Fetches cut short by the shut-down still answer: their entries fail, saying why.
TEST_F(DownloadManagerTest, ShutDownCutsMetadataFetchesShort)
{
    const std::shared_ptr<PendingChange> change =
        DownloadManager::StartQueueDownload({"https://example.com/v?fake_metadata_seconds=60", AUDIO});
    ASSERT_TRUE(WaitUntil([&] { return fake.Calls().size() == 1; }));

    DownloadManager::StopFetches();
    ASSERT_TRUE(PassUntil([&] { return DownloadManager::IsDone(*change); }));
    EXPECT_EQ(Status(change->id), FAILED);
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(change->id).ErrorMessage(),
              "The server shut down before the video's details were read.");
}
