#include <gtest/gtest.h>
#include <filesystem>
#include "downloader/DownloadManagerFixture.h"
#include "subscriptions/CheckSchedule.h"
#include "subscriptions/SubscriptionManager.h"

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
