#include "subscriptions/CheckSchedule.h"
#include <algorithm>

using namespace Subscriptions;

namespace
{
    time_t IntervalSeconds(const Subscription& subscription)
    {
        return static_cast<time_t>(std::max<int32_t>(subscription.check_interval, 1)) * 60;
    }
}

void CheckSchedule::AfterCheck(Subscription& subscription, time_t now, const std::string& error)
{
    subscription.last_check = now;
    subscription.last_error = error;
    subscription.throttled_checks = IsThrottled(error) ? subscription.throttled_checks + 1 : 0;
    subscription.next_check = now + Wait(subscription);
}

time_t CheckSchedule::Wait(const Subscription& subscription)
{
    const time_t interval = IntervalSeconds(subscription);
    if (subscription.throttled_checks <= 0)
        return interval;
    const time_t longest = std::max(day, interval);
    time_t wait = interval;
    for (int32_t i = 0; i < subscription.throttled_checks && wait < longest; i++)
        wait *= 2;
    return std::min(wait, longest);
}

time_t CheckSchedule::Gap(const std::list<Subscription>& subscriptions)
{
    time_t shortest = 0;
    time_t enabled = 0;
    for (const Subscription& subscription : subscriptions)
        if (subscription.enabled)
        {
            shortest = enabled == 0 ? IntervalSeconds(subscription) : std::min(shortest, IntervalSeconds(subscription));
            enabled++;
        }
    return enabled == 0 ? 0 : shortest / enabled;
}

const Subscription* CheckSchedule::NextDue(const std::list<Subscription>& subscriptions, time_t now,
                                           time_t lastStart)
{
    if (lastStart != 0 && now < lastStart + Gap(subscriptions))
        return nullptr;
    const Subscription* due = nullptr;
    for (const Subscription& subscription : subscriptions)
        if (subscription.enabled && subscription.next_check <= now &&
            (due == nullptr || subscription.next_check < due->next_check))
            due = &subscription;
    return due;
}

bool CheckSchedule::IsThrottled(const std::string& error)
{
    // As yt-dlp and the feed's reader word them; a bare "429" could be part of a video's id.
    static const char* const signs[] = {"HTTP Error 429", "HTTP status 429", "Too Many Requests", "not a bot",
                                        "Sign in to confirm", "sign in to confirm", "Please sign in"};
    return std::any_of(std::begin(signs), std::end(signs),
                       [&error](const char* sign) { return error.find(sign) != std::string::npos; });
}
