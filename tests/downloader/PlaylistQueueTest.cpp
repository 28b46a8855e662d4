#include <filesystem>
#include "DownloadManagerFixture.h"
#include "downloader/FailureReasons.h"

using namespace Downloader;
using TestSupport::ReadRaw;

namespace
{
    using Args = std::vector<std::string>;

    // The session's entries in list order: (title, video_url, playlist_index).
    std::vector<std::tuple<std::string, std::string, int32_t>> Videos(const std::vector<std::string>& ids)
    {
        std::vector<std::tuple<std::string, std::string, int32_t>> videos;
        for (const std::string& id : ids)
        {
            const DownloadEntry& entry = DownloadManager::GetDownloadEntryByPelkoID(id);
            videos.emplace_back(entry.title, entry.video_url, entry.playlist_index);
        }
        return videos;
    }
}

class PlaylistTest : public DownloadManagerTest
{
protected:
    // Lists the playlist at `url` and returns the completed change.
    std::shared_ptr<PendingChange> QueuePlaylist(const std::string& url, int32_t maxItems = 200,
                                                 const std::string& quality = "best")
    {
        now += 1;
        std::shared_ptr<PendingChange> change = DownloadManager::StartQueuePlaylist({url, VIDEO, quality}, maxItems);
        EXPECT_TRUE(PassUntil([&] { return DownloadManager::IsDone(*change); }));
        return change;
    }

    // Lets the clock run one second a pass until the session holds `count` entries; their ids,
    // oldest first.
    std::vector<std::string> SessionOnceItHolds(size_t count)
    {
        EXPECT_TRUE(PassUntil([&] {
            now += 1;
            return DownloadManager::GetAlltimeCacheAsJson(-1, -1).Size() == count;
        }));
        std::vector<std::string> ids = Ids(DownloadManager::GetAlltimeCacheAsJson(-1, -1));
        std::reverse(ids.begin(), ids.end());
        return ids;
    }
};

// The change completes once the playlist is listed; its videos join one by one, in its order, each
// by its own address and under an id of its own, the first under the change's.
TEST_F(PlaylistTest, EachVideoOfAPlaylistBecomesAnEntryInItsOrder)
{
    XGConfig::downloader.num_threads = 0;
    const std::string url = "https://example.com/list?fake_playlist=3";
    const std::shared_ptr<PendingChange> change = QueuePlaylist(url, 200, "480");

    EXPECT_EQ(change->playlistSize, 3u);
    EXPECT_EQ(change->playlistError, "");
    EXPECT_EQ(fake.Calls().front(),
              (Args{"--skip-download", "--no-warnings", "--socket-timeout", "5", "-J", "--flat-playlist", "--yes-playlist",
                    "--playlist-end", "200", "--", url}));

    const std::vector<std::string> ids = SessionOnceItHolds(3);
    EXPECT_EQ(ids.front(), change->id);
    EXPECT_EQ(Videos(ids), (std::vector<std::tuple<std::string, std::string, int32_t>>{
                               {"Fake video 1", "https://example.com/list?fake_item=1", 0},
                               {"Fake video 2", "https://example.com/list?fake_item=2", 0},
                               {"Fake video 3", "https://example.com/list?fake_item=3", 0}}));
    for (size_t i = 0; i < ids.size(); i++)
    {
        const DownloadEntry& entry = DownloadManager::GetDownloadEntryByPelkoID(ids[i]);
        EXPECT_EQ(entry.status.load(), QUEUED);
        EXPECT_EQ(entry.quality, "480");
        if (i > 0)
        {
            EXPECT_GT(entry.queued_timestamp, DownloadManager::GetDownloadEntryByPelkoID(ids[i - 1]).queued_timestamp);
        }
    }
    // Nothing was left of the listing run but its (empty) error output.
    EXPECT_FALSE(std::filesystem::exists("dlcache/metadata/" + change->id + ".playlist.json"));
}

// Videos that have no addresses of their own (as the videos of one page) are reached by their place,
// for the metadata and for the download, and each download gets only its own video.
TEST_F(PlaylistTest, VideosWithoutAddressesAreReachedByTheirPlace)
{
    const std::string url = "https://example.com/page?fake_playlist=2&fake_playlist_by_place=1";
    QueuePlaylist(url);
    const std::vector<std::string> ids = SessionOnceItHolds(2);
    ASSERT_TRUE(PassUntil([&] { return Status(ids[0]) == FINISHED && Status(ids[1]) == FINISHED; }));

    EXPECT_EQ(Videos(ids), (std::vector<std::tuple<std::string, std::string, int32_t>>{
                               {"Fake video 1", url, 1}, {"Fake video 2", url, 2}}));
    for (int place = 1; place <= 2; place++)
    {
        const std::string& id = ids[place - 1];
        EXPECT_EQ(ReadRaw("dlcache/download/" + id + ".mp4"), "fake media of " + url + " place " + std::to_string(place) + "\n");
        const Args byPlace = {"--playlist-items", std::to_string(place)};
        int runs = 0;
        for (const Args& call : fake.Calls())
            if (std::search(call.begin(), call.end(), byPlace.begin(), byPlace.end()) != call.end())
                runs++;
        EXPECT_EQ(runs, 2) << "metadata and download of place " << place;
    }
}

TEST_F(PlaylistTest, AtMostMaxItemsVideosAreQueued)
{
    XGConfig::downloader.num_threads = 0;
    const std::shared_ptr<PendingChange> change = QueuePlaylist("https://example.com/list?fake_playlist=5", 2);
    EXPECT_EQ(change->playlistSize, 2u);
    EXPECT_EQ(SessionOnceItHolds(2).size(), 2u);
    for (int pass = 0; pass < 5; pass++)
    {
        now += 1;
        DownloadManager::Update();
    }
    EXPECT_EQ(DownloadManager::GetAlltimeCacheAsJson(-1, -1).Size(), 2u);
}

TEST_F(PlaylistTest, AListingThatFailsSaysWhyAndQueuesNothing)
{
    const std::string url = "https://example.com/list?fake_playlist=2&fake_fail=metadata";
    const std::shared_ptr<PendingChange> change = QueuePlaylist(url);
    EXPECT_EQ(change->playlistSize, 0u);
    EXPECT_EQ(change->playlistError, "ERROR: fake metadata failure for " + url);
    EXPECT_EQ(DownloadManager::GetAlltimeCacheAsJson(-1, -1).Size(), 0u);
    EXPECT_EQ(MessagesSinceStart().back(), "ERROR: Playlist " + url + " could not be queued: ERROR: fake metadata failure for " + url);
}

TEST_F(PlaylistTest, AnAddressOfOneVideoIsAPlaylistOfOne)
{
    XGConfig::downloader.num_threads = 0;
    const std::shared_ptr<PendingChange> change = QueuePlaylist("https://example.com/v?fake_title=Alone");
    EXPECT_EQ(change->playlistSize, 1u);
    const std::vector<std::string> ids = SessionOnceItHolds(1);
    EXPECT_EQ(Videos(ids), (std::vector<std::tuple<std::string, std::string, int32_t>>{
                               {"Alone", "https://example.com/v?fake_title=Alone", 0}}));
}

// Without "playlist" only one video can come of an address, and a playlist has none to offer.
TEST_F(PlaylistTest, APlaylistQueuedAsOneVideoFailsSayingHowToQueueIt)
{
    const std::string id = Queue("https://example.com/list?fake_playlist=2", VIDEO);
    EXPECT_EQ(Status(id), FAILED);
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).ErrorMessage(),
              "The address is a playlist, not a single video: queue it as a playlist to download its videos.");
}

// Other queuing does not wait for a playlist: it takes the next second, and the playlist's later
// videos the seconds after it.
TEST_F(PlaylistTest, QueuingBesideAPlaylistTakesTheNextSecond)
{
    XGConfig::downloader.num_threads = 0;
    const std::shared_ptr<PendingChange> playlist = QueuePlaylist("https://example.com/list?fake_playlist=3");
    const std::shared_ptr<PendingChange> single =
        DownloadManager::StartQueueDownload({"https://example.com/v?fake_title=Single", AUDIO});
    now += 1;
    ASSERT_TRUE(PassUntil([&] { return DownloadManager::IsDone(*single); }));

    const std::vector<std::string> ids = SessionOnceItHolds(4);
    EXPECT_EQ(ids[0], playlist->id);
    EXPECT_EQ(ids[1], single->id);
    EXPECT_EQ(std::get<0>(Videos(ids)[3]), "Fake video 3");
}

// Videos that had not joined yet when the server stopped come back as failed, each to be retried.
TEST_F(PlaylistTest, VideosInWaitingSurviveAStopAsFailedEntries)
{
    XGConfig::downloader.num_threads = 0;
    const std::string url = "https://example.com/page?fake_playlist=3&fake_playlist_by_place=1";
    QueuePlaylist(url, 200, "720");
    // The clock stands still, so the first video joins under the listing's second and the others wait.
    ASSERT_TRUE(PassUntil([] { return DownloadManager::GetAlltimeCacheAsJson(-1, -1).Size() == 1; }));

    Restart();
    const std::vector<std::string> ids = SessionOnceItHolds(3);
    EXPECT_EQ(Status(ids[0]), QUEUED);
    for (const std::string& id : {ids[1], ids[2]})
    {
        EXPECT_EQ(Status(id), FAILED);
        EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(id).ErrorMessage(), FailureReasons::shutDownDuringFetch);
    }

    const ChangeRequest retry = DownloadManager::RetryDownload(ids[2]);
    ASSERT_NE(retry.change, nullptr);
    ASSERT_TRUE(PassUntil([&] { return DownloadManager::IsDone(*retry.change); }));
    const DownloadEntry& retried = DownloadManager::GetDownloadEntryByPelkoID(ids[2]);
    EXPECT_EQ(retried.status.load(), QUEUED);
    EXPECT_EQ(retried.title, "Fake video 3");
    EXPECT_EQ(retried.quality, "720");
    EXPECT_EQ(retried.playlist_index, 3);
}
