#pragma once
#include <ctime>
#include <list>
#include <string>
#include "subscriptions/Subscription.h"

namespace Subscriptions
{
    // When subscriptions are checked: each its interval after its last check, longer after the
    // site refused checks as too many, and scheduled checks some time apart, so that many
    // subscriptions share out their interval instead of all asking the site at the same moment.
    class CheckSchedule
    {
    public:
        static constexpr time_t day = 24 * 60 * 60;

        // Records a check that ended at `now`, well (`error` empty) or not: last_check,
        // last_error, the refusals in a row and next_check.
        static void AfterCheck(Subscription& subscription, time_t now, const std::string& error);
        // The wait before the next check: the interval, doubled for each refusal in a row as too
        // many, but no longer than a day (or the interval, when that is longer).
        static time_t Wait(const Subscription& subscription);
        // Seconds between the starts of two scheduled checks: the shortest interval of the
        // enabled subscriptions, shared out among them.
        static time_t Gap(const std::list<Subscription>& subscriptions);
        // The enabled subscription whose check is due at `now` and has waited longest; null when
        // none is, or while the last scheduled check began less than Gap before `now`.
        static const Subscription* NextDue(const std::list<Subscription>& subscriptions, time_t now,
                                           time_t lastStart);
        // The site refused the check as one too many (HTTP 429, a bot check, a sign-in demand).
        static bool IsThrottled(const std::string& error);
    };
}
