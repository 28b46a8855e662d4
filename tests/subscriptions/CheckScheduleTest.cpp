#include <gtest/gtest.h>
#include <algorithm>
#include "subscriptions/CheckSchedule.h"

using Subscriptions::CheckSchedule;
using Subscriptions::Subscription;

namespace
{
    constexpr time_t start = 1700000000;

    Subscription Every(int32_t minutes, const std::string& id = "s")
    {
        Subscription subscription;
        subscription.id = id;
        subscription.check_interval = minutes;
        return subscription;
    }
}

TEST(CheckScheduleTest, RefusalsDoubleTheWaitUpToADay)
{
    const time_t day = CheckSchedule::day;
    // (interval in minutes, refusals in a row, wait in seconds)
    const std::tuple<int32_t, int32_t, time_t> cases[] = {
        {30, 0, 1800},   {30, 1, 3600},   {30, 2, 7200}, {30, 5, 57600},
        {30, 6, day},    {30, 40, day},   {60, 4, 57600}, {1440, 1, day},
        // An interval beyond a day is never shortened by a refusal.
        {10080, 0, 10080 * 60}, {10080, 3, 10080 * 60},
    };
    for (const auto& [minutes, refusals, wait] : cases)
    {
        Subscription subscription = Every(minutes);
        subscription.throttled_checks = refusals;
        EXPECT_EQ(CheckSchedule::Wait(subscription), wait) << minutes << " min, " << refusals << " refusals";
    }
}

TEST(CheckScheduleTest, AGoodCheckClearsTheBackOffAndAnOtherFailureDoesNotBackOff)
{
    Subscription subscription = Every(30);
    const std::string tooMany = "ERROR: [youtube:tab] x: Unable to download webpage: HTTP Error 429: Too Many Requests";
    // (error of the check ending at `start` + offset, expected last_error, next_check - last_check)
    const std::tuple<time_t, std::string, time_t> steps[] = {
        {0, tooMany, 3600},
        {3600, tooMany, 7200},
        {10800, "ERROR: [youtube:tab] x: This channel does not exist.", 1800},
        {12600, tooMany, 3600},
        {16200, "", 1800},
    };
    for (const auto& [offset, error, wait] : steps)
    {
        CheckSchedule::AfterCheck(subscription, start + offset, error);
        EXPECT_EQ(subscription.last_check, start + offset);
        EXPECT_EQ(subscription.last_error, error);
        EXPECT_EQ(subscription.next_check - subscription.last_check, wait) << "after the check at +" << offset;
    }
}

TEST(CheckScheduleTest, ScheduledChecksKeepTheirGapAndTheLongestWaitingGoesFirst)
{
    std::list<Subscription> subscriptions = {Every(60, "a"), Every(90, "b"), Every(60, "c"), Every(10, "off")};
    subscriptions.back().enabled = false;
    for (Subscription& subscription : subscriptions)
        subscription.next_check = start;
    subscriptions.front().next_check = start + 1;
    // The shortest interval of the enabled ones, shared among the three.
    EXPECT_EQ(CheckSchedule::Gap(subscriptions), 1200);

    EXPECT_EQ(CheckSchedule::NextDue(subscriptions, start - 1, 0), nullptr);
    EXPECT_EQ(CheckSchedule::NextDue(subscriptions, start, 0)->id, "b");
    EXPECT_EQ(CheckSchedule::NextDue(subscriptions, start + 1199, start), nullptr);
    EXPECT_EQ(CheckSchedule::NextDue(subscriptions, start + 1200, start)->id, "b");
    for (Subscription& subscription : subscriptions)
        subscription.enabled = false;
    EXPECT_EQ(CheckSchedule::NextDue(subscriptions, start + 5000, start), nullptr);
    EXPECT_EQ(CheckSchedule::Gap(subscriptions), 0);
}

TEST(CheckScheduleTest, SubscriptionsDueTogetherSpreadOverTheirInterval)
{
    // A hundred hourly subscriptions that all became due in the same second (added by a script,
    // or left overdue by a restart or a pause), stepped through three hours a second at a time.
    std::list<Subscription> subscriptions;
    for (int i = 0; i < 100; i++)
    {
        subscriptions.push_back(Every(60, "s" + std::to_string(i)));
        subscriptions.back().next_check = start;
    }
    std::vector<time_t> starts;
    time_t lastStart = 0;
    for (time_t now = start; now < start + 3 * 3600; now++)
        if (const Subscription* due = CheckSchedule::NextDue(subscriptions, now, lastStart))
        {
            const std::string id = due->id;
            for (Subscription& subscription : subscriptions)
                if (subscription.id == id)
                    CheckSchedule::AfterCheck(subscription, now + 2, "");
            starts.push_back(lastStart = now);
        }
    ASSERT_GE(starts.size(), 250u);
    for (size_t i = 1; i < starts.size(); i++)
        ASSERT_GE(starts[i] - starts[i - 1], 36) << "check " << i;
    // Every subscription is still checked about once an hour.
    for (const Subscription& subscription : subscriptions)
        EXPECT_GE(subscription.last_check, start + 3 * 3600 - 3700) << subscription.id;
}

TEST(CheckScheduleTest, RefusalsAsTooManyAreTold)
{
    const std::pair<const char*, bool> cases[] = {
        {"ERROR: [youtube:tab] x: Unable to download webpage: HTTP Error 429: Too Many Requests", true},
        {"ERROR: [youtube] x: Sign in to confirm you're not a bot. Use --cookies", true},
        {"ERROR: [youtube] x: Sign in to confirm you\u2019re not a bot.", true},
        {"ERROR: [youtube:tab] x: Please sign in to view this playlist", true},
        {"Could not read the feed https://www.youtube.com/feeds/videos.xml?channel_id=UC: the server answered with "
         "HTTP status 429.",
         true},
        {"ERROR: [youtube:tab] x: This channel does not exist.", false},
        // A video's id may hold the digits.
        {"ERROR: [youtube] ab429cdEFgh: Video unavailable", false},
        {"", false},
    };
    for (const auto& [error, throttled] : cases)
        EXPECT_EQ(CheckSchedule::IsThrottled(error), throttled) << error;
}
