#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "downloader/DownloadManager.h"
#include "downloader/FlatListing.h"
#include "subscriptions/SeenArchive.h"
#include "subscriptions/Subscription.h"

namespace Logging
{
    class Logger;
}

namespace Subscriptions
{
    // What a client chose for a new subscription; checked by the command before it gets here.
    struct NewSubscription
    {
        std::string url;
        Downloader::DOWNLOAD_MODE mode = Downloader::VIDEO;
        std::string quality = "best";
        std::string audio_format = "mp3";
        int32_t check_interval = 60;
        int32_t backlog = 0;
        int32_t keep_last = 0;
    };

    // What a client may change of a subscription; unset members stay as they are.
    struct SubscriptionChanges
    {
        std::optional<std::string> name;
        std::optional<Downloader::DOWNLOAD_MODE> mode;
        std::optional<std::string> quality;
        std::optional<std::string> audio_format;
        std::optional<int32_t> check_interval;
        std::optional<int32_t> keep_last;
        std::optional<bool> enabled;
    };

    // A change that a command waits for; every member is main thread only.
    struct Operation
    {
        bool done = false;
        std::string error;     // once done: why it was refused, or empty
        bool notSaved = false; // the error is that subscriptions.json could not be written
        std::string subscriptionId;
        size_t newVideos = 0;  // of a check: the videos it queued
        std::vector<std::shared_ptr<Downloader::PendingChange>> removals;  // downloads it waits to go
    };

    enum class CHANGE
    {
        ADDED,
        CHANGED,  // by a client
        CHECKED,  // a check ended well, or failed for the reason the check before it failed for
        FAILED,   // a check failed for a new reason, which last_error holds
        REMOVED,
    };

    // Follows channels and playlists: checks each now and then, queues the videos it has not seen
    // as ordinary downloads (that carry its id and name), and keeps its settings in
    // subscriptions.json and the videos it has seen in subscriptions/<id>.archive, both in the
    // working directory. Driven by the frame's phases and the commands, on the main thread; one
    // listing at a time runs on a thread of its own, in a metadata-fetch slot borrowed from the
    // download manager. Scheduled checks follow CheckSchedule and pause while downloader.num_threads
    // is 0; the checks that clients ask for run all the same.
    class SubscriptionManager
    {
    public:
        // After the download manager's PreInit: logger, subscriptions.json and the archives, and
        // the download events that keep_last waits for.
        static void PreInit();
        // Takes in a check that ended, removes what keep_last lets go, starts the next check due.
        static void Update();
        static void OnExit();   // stops a listing under way and waits for it
        static void PostExit();

        // Every subscription, in the order they were added; valid until the next change.
        static const std::list<Subscription>& List();
        // Null when no subscription has `id`.
        static const Subscription* Find(const std::string& id);
        // Whether the subscription's check runs now.
        static bool IsChecking(const std::string& id);

        // Told of every change once it is saved, on the main thread; for REMOVED the subscription
        // as it was. Observers stay until the next PreInit.
        using Observer = std::function<void(CHANGE change, const Subscription& subscription)>;
        static void AddObserver(Observer observer);

        // Lists the address once; done with the new subscription's id, or with why there is none
        // (a single video, a list already followed, the downloader's reason).
        static std::shared_ptr<Operation> StartAdd(NewSubscription request);
        // Done at once.
        static std::shared_ptr<Operation> Change(const std::string& id, const SubscriptionChanges& changes);
        // Done once the subscription is gone and, with `deleteDownloads`, every download it queued.
        static std::shared_ptr<Operation> StartRemoval(const std::string& id, bool deleteDownloads);
        // Checks at once (after a listing under way); done when the check has ended.
        static std::shared_ptr<Operation> StartCheck(const std::string& id);

    private:
        // A download queued by a subscription whose details are still being fetched: not yet
        // listed, but a removal with the subscription's downloads must find it all the same.
        struct Queuing
        {
            std::string subscriptionId;
            std::shared_ptr<Downloader::PendingChange> change;
        };

        // The listings (SubscriptionManagerChecks.cpp)
        struct Job;
        static void TakeEndedJob();
        static void StartNextJob();
        static std::unique_ptr<Job> ScheduledCheck();
        static void FinishAddition(Job& job);
        static void FinishCheck(Job& job);
        // Queues the videos, oldest first, for `subscription`; how many.
        static size_t Queue(const Subscription& subscription,
                            const std::vector<Downloader::FlatListing::Video>& newestFirst);
        // The checks asked for `id` end unanswered, saying `why`.
        static void DropJobsOf(const std::string& id, const std::string& why);
        // Stops the listing under way and answers every job with `why`.
        static void DropAllJobs(const std::string& why);

        static void KeepOnlyLast();
        static void SettleRemovals();
        static bool Save();
        static void Notify(CHANGE change, const Subscription& subscription);
        static Subscription* FindMutable(const std::string& id);
        static std::string UnknownId(const std::string& id);
        static constexpr const char* removedMeanwhile = "The subscription was removed.";

        static std::list<Subscription> subscriptions;
        static std::map<std::string, SeenArchive> archives;  // by subscription id
        static std::list<std::unique_ptr<Job>> waitingJobs;  // additions and checks asked for, in order
        static std::unique_ptr<Job> runningJob;
        static time_t lastScheduledStart;  // 0 until the first scheduled check of this run
        static std::list<Queuing> queuing;
        static std::list<std::shared_ptr<Operation>> removalsUnderWay;
        static std::vector<Observer> observers;
        static bool trimDue;  // a download of a subscription with keep_last finished, or keep_last changed
        static Logging::Logger* log;
    };
}
