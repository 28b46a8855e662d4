#include <gtest/gtest.h>
#include <filesystem>
#include "downloader/DownloadManagerFixture.h"
#include "subscriptions/CheckSchedule.h"
#include "subscriptions/SubscriptionManager.h"
#include "support/LocalHttpServer.h"

using Subscriptions::CHANGE;
using Subscriptions::CheckSchedule;
using Subscriptions::Subscription;
using Subscriptions::SubscriptionManager;

// The subscriptions over the download manager's fixture: the fake youtube-dl lists the channels,
// and only the test moves the clock, so that each scheduled check starts when the test says.
class SubscriptionManagerTest : public DownloadManagerTest
{
protected:
    void SetUp() override
    {
        DownloadManagerTest::SetUp();
        XGConfig::subscriptions.listing_size = 10;
        SubscriptionManager::PreInit();
        SubscriptionManager::AddObserver(
            [this](CHANGE change, const Subscription& subscription) { changes.push_back({change, subscription.last_error}); });
    }

    void TearDown() override
    {
        SubscriptionManager::OnExit();
        SubscriptionManager::PostExit();
        DownloadManagerTest::TearDown();
    }

    // Passes of both managers until `done` holds; false after 30 seconds.
    static bool RunUntil(const std::function<bool()>& done)
    {
        return PassUntil([&done] {
            SubscriptionManager::Update();
            return done();
        });
    }

    // Follows a channel of `videos` (fake downloader switches in `switches`), checked every 10 minutes.
    std::string Follow(int videos, const std::string& switches = "")
    {
        Subscriptions::NewSubscription wanted;
        wanted.url = "https://videos.example/channel?fake_channel=" + std::to_string(videos) + switches;
        wanted.check_interval = 10;
        const auto operation = SubscriptionManager::StartAdd(wanted);
        EXPECT_TRUE(RunUntil([&operation] { return operation->done; }));
        EXPECT_EQ(operation->error, "");
        changes.clear();
        return operation->subscriptionId;
    }

    // One pass at the clock's time: whether it started a scheduled check of `id`, which then runs to its end.
    static bool StartsCheck(const std::string& id)
    {
        SubscriptionManager::Update();
        const bool started = SubscriptionManager::IsChecking(id);
        EXPECT_TRUE(RunUntil([&id] { return !SubscriptionManager::IsChecking(id); }));
        return started;
    }

    static const Subscription& Get(const std::string& id) { return *SubscriptionManager::Find(id); }

    // The flat listings the fake downloader was asked for so far.
    size_t Listings() const
    {
        size_t listings = 0;
        for (const std::vector<std::string>& call : fake.Calls())
            listings += std::find(call.begin(), call.end(), "--flat-playlist") != call.end() &&
                        std::find(call.begin(), call.end(), "--yes-playlist") != call.end();
        return listings;
    }

    std::vector<std::pair<CHANGE, std::string>> changes;  // what the observer was told, with last_error
};

TEST_F(SubscriptionManagerTest, AScheduledCheckStartsAtNextCheckAndTheNextIsAnIntervalLater)
{
    const std::string id = Follow(3);
    EXPECT_EQ(Get(id).next_check, now + 600);
    now += 599;
    EXPECT_FALSE(StartsCheck(id));
    now += 1;
    EXPECT_TRUE(StartsCheck(id));
    EXPECT_EQ((std::tuple{Get(id).last_check, Get(id).next_check, Get(id).last_error}),
              (std::tuple{now, now + 600, std::string()}));
    EXPECT_EQ(changes, (std::vector<std::pair<CHANGE, std::string>>{{CHANGE::CHECKED, ""}}));
}

TEST_F(SubscriptionManagerTest, ScheduledChecksPauseWhileNoDownloadMayRunButAClientsCheckRuns)
{
    const std::string id = Follow(3, "&fake_grow=" + (directory / "grown"));
    XGConfig::downloader.num_threads = 0;
    now = Get(id).next_check + CheckSchedule::day;
    EXPECT_FALSE(StartsCheck(id));
    EXPECT_EQ(Get(id).last_check, now - CheckSchedule::day - 600);

    TestSupport::WriteRaw(directory / "grown", "1");
    const auto asked = SubscriptionManager::StartCheck(id);
    ASSERT_TRUE(RunUntil([&asked] { return asked->done; }));
    EXPECT_EQ((std::pair{asked->error, asked->newVideos}), (std::pair{std::string(), size_t{1}}));

    now = Get(id).next_check;
    XGConfig::downloader.num_threads = 1;
    EXPECT_TRUE(StartsCheck(id));
}

TEST_F(SubscriptionManagerTest, RefusalsAsTooManyBackOffWarnAndTellObserversOnceUntilAGoodCheck)
{
    const std::string throttle = directory / "throttle";
    const std::string id = Follow(3, "&fake_throttle=" + throttle);
    TestSupport::WriteRaw(throttle, "");
    // (wait expected after the check, in seconds)
    for (const time_t wait : {1200, 2400, 4800})
    {
        now = Get(id).next_check;
        ASSERT_TRUE(StartsCheck(id));
        EXPECT_EQ(Get(id).next_check - Get(id).last_check, wait);
        EXPECT_NE(Get(id).last_error.find("HTTP Error 429"), std::string::npos) << Get(id).last_error;
    }
    std::filesystem::remove(throttle);
    now = Get(id).next_check;
    ASSERT_TRUE(StartsCheck(id));
    EXPECT_EQ((std::pair{Get(id).next_check - Get(id).last_check, Get(id).last_error}), (std::pair{time_t{600}, std::string()}));

    const std::string reason = changes.at(0).second;
    EXPECT_EQ(changes, (std::vector<std::pair<CHANGE, std::string>>{
                           {CHANGE::FAILED, reason}, {CHANGE::CHECKED, reason}, {CHANGE::CHECKED, reason}, {CHANGE::CHECKED, ""}}));
    size_t warnings = 0;
    for (const Logging::LogEntry& entry : TestSupport::EntriesOf("SubscriptionManager"))
        if (entry.type == Logging::WARN && entry.message.find(reason) != std::string::npos)
            warnings++;
    EXPECT_EQ(warnings, 3u);
}

TEST_F(SubscriptionManagerTest, AYouTubeChannelIsReadThroughItsFeedAndListedFlatOnceADay)
{
    const TestSupport::DirectConnections direct;
    TestSupport::LocalHttpServer feed;
    const std::string channel = "UCabcdefghijklmnopqrstuv";
    feed.Serve("/feeds/videos.xml?channel_id=" + channel,
               {200, "<?xml version=\"1.0\"?><feed xmlns:yt=\"http://www.youtube.com/xml/schemas/2015\" "
                     "xmlns=\"http://www.w3.org/2005/Atom\"><entry><yt:videoId>new1</yt:videoId><title>New</title>"
                     "<link rel=\"alternate\" href=\"https://videos.example/watch?fake_title=New\"/></entry></feed>"});
    XGConfig::subscriptions.feed_url = feed.Url("/feeds/videos.xml");
    const std::string id = Follow(3, "&fake_channel_id=" + channel);
    const size_t listings = Listings();
    // (when the check runs, feed requests and flat listings since the addition, videos seen after it)
    const std::tuple<std::function<time_t()>, size_t, size_t, int64_t> checks[] = {
        {[&id] { return Get(id).next_check; }, 1, 0, 4},
        // A day after the last flat listing the check lists flat instead.
        {[&id] { return Get(id).last_listing + CheckSchedule::day; }, 1, 1, 4},
        {[&id] { return Get(id).next_check; }, 2, 1, 4},
    };
    for (const auto& [when, requests, listed, seen] : checks)
    {
        now = when();
        ASSERT_TRUE(StartsCheck(id));
        EXPECT_EQ((std::tuple{feed.RequestHeads().size(), Listings() - listings, Get(id).videos_seen, Get(id).last_error}),
                  (std::tuple{requests, listed, seen, std::string()}));
    }
}

TEST_F(SubscriptionManagerTest, ALongerListingRecordsTheBackCatalogueItReachesWithoutQueuingIt)
{
    const std::string grown = directory / "grown";
    const std::string id = Follow(30, "&fake_grow=" + grown);
    XGConfig::subscriptions.listing_size = 20;
    XGConfig::downloader.num_threads = 0;
    // (videos added to the channel so far, videos the check queues, videos seen after it)
    for (const auto& [added, queued, seen] : {std::tuple{"2", size_t{2}, int64_t{20}}, std::tuple{"3", size_t{1}, int64_t{21}}})
    {
        TestSupport::WriteRaw(grown, added);
        const auto asked = SubscriptionManager::StartCheck(id);
        ASSERT_TRUE(RunUntil([&asked] { return asked->done; }));
        EXPECT_EQ((std::pair{asked->newVideos, Get(id).videos_seen}), (std::pair{queued, seen})) << added;
    }
}
