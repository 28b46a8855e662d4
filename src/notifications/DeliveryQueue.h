#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <thread>
#include <vector>
#include "app/ThreadSafety.h"
#include "notifications/Notification.h"
#include "notifications/NotificationTarget.h"

namespace Notifications
{
    // The notifications that are yet to reach their targets, and the thread that delivers them.
    // A failed attempt is repeated after each of the retry delays in turn, then given up. What
    // waits is kept in a file, rewritten atomically after every change, so that it survives a
    // restart. The thread never logs: the main thread takes its reports.
    class DeliveryQueue
    {
    public:
        using Clock = std::chrono::system_clock;

        struct Pending
        {
            std::string target;  // NotificationTarget::key
            Notification notification;
            int attempts = 0;  // made so far
            Clock::time_point due;
            uint64_t serial = 0;  // tells apart equal ones while one is being sent
        };

        // What became of one attempt.
        struct Report
        {
            std::string shownTarget;
            std::string event;
            NotificationTarget::Attempt attempt;
            int attempts = 0;
            bool gaveUp = false;
            Clock::duration retryIn{};  // when neither delivered nor given up
        };

        // The last attempt at a target, for those who ask.
        struct LastOutcome
        {
            NotificationTarget::Attempt attempt;
            time_t time = 0;
        };

        // Starts the thread with what `file` kept (see Load) and the targets of now.
        DeliveryQueue(std::string file, std::vector<Clock::duration> retryDelays, std::vector<Pending> restored,
                      std::vector<NotificationTarget> targets);
        // Stops the thread, cutting an attempt under way short (it stays to be made again).
        ~DeliveryQueue();
        DeliveryQueue(const DeliveryQueue&) = delete;
        DeliveryQueue& operator=(const DeliveryQueue&) = delete;

        // What a file of this queue holds; entries that cannot be read are skipped. `problem`
        // says why nothing could be read from a file that exists.
        static std::vector<Pending> Load(const std::string& file, std::string& problem);

        // The notification for every target that wants its event, due now.
        void Add(const Notification& notification);
        // From now on; waiting notifications of targets that are gone are dropped.
        void SetTargets(std::vector<NotificationTarget> targets);
        std::vector<Report> TakeReports();
        // A failed save of the file since the last call: why, or empty.
        std::string TakeSaveProblem();
        std::map<std::string, LastOutcome> LastOutcomes() const;  // by target key
        size_t PendingCount() const;

    private:
        void Run();
        // The file's text for `pending`.
        std::string Render() const REQUIRES(mutex);
        // Notes the attempt at `sent`, and drops it or schedules the next.
        void TakeAttempt(const Pending& sent, const NotificationTarget& target,
                         const NotificationTarget::Attempt& attempt) REQUIRES(mutex);

        const std::string file;
        const std::vector<Clock::duration> retryDelays;

        mutable Mutex mutex;
        std::condition_variable changed;
        std::list<Pending> pending GUARDED_BY(mutex);
        std::vector<NotificationTarget> targets GUARDED_BY(mutex);
        std::vector<Report> reports GUARDED_BY(mutex);
        std::map<std::string, LastOutcome> lastOutcomes GUARDED_BY(mutex);
        std::string saveProblem GUARDED_BY(mutex);
        bool dirty GUARDED_BY(mutex) = false;  // the file lags behind
        uint64_t nextSerial GUARDED_BY(mutex) = 0;
        std::atomic<bool> stop = false;
        std::thread thread;
    };
}
