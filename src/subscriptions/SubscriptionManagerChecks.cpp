// The listings of SubscriptionManager: additions and checks, one at a time on a thread of its
// own, and what the main thread makes of them once they have ended.
#include <algorithm>
#include <thread>
#include <unordered_set>
#include "app/Clock.h"
#include "app/FileLayout.h"
#include "app/FileSystem.h"
#include "app/Metrics.h"
#include "config/XGConfig.h"
#include "logging/Logger.h"
#include "subscriptions/CheckSchedule.h"
#include "subscriptions/FollowedAddress.h"
#include "subscriptions/SubscriptionCheck.h"
#include "subscriptions/SubscriptionManager.h"
#include "subscriptions/SubscriptionStore.h"
#include "subscriptions/YouTubeFeed.h"

using namespace Subscriptions;
using Downloader::DownloadManager;

namespace
{
    std::vector<std::string> Identities(const std::vector<Downloader::FlatListing::Video>& videos)
    {
        std::vector<std::string> identities;
        for (const Downloader::FlatListing::Video& video : videos)
            identities.push_back(video.identity);
        return identities;
    }

    std::string AlreadyFollowed(const Subscription& subscription)
    {
        return "The address is already followed as \"" + subscription.name + "\" (id " + subscription.id + ").";
    }
}

struct SubscriptionManager::Job
{
    std::string subscriptionId;              // of a check; main thread only
    std::unique_ptr<Subscription> addition;  // of an addition: not yet listed; main thread only
    // Handed over whole, with no lock: the main thread fills its settings before it starts the
    // thread; from then on only the thread touches it, and the main thread reads the outcome
    // only after `ended` (whose store and load order the hand-over back).
    SubscriptionCheck check;
    std::vector<std::shared_ptr<Operation>> waiting;  // main thread only
    std::atomic<bool> stop = false;   // set by the main thread, read by the thread
    std::atomic<bool> ended = false;  // set by the thread once it is done with the check
    std::thread thread;

    // Every operation that waits for it is done, refused with `error` unless that is empty.
    void Answer(const std::string& error = "")
    {
        for (const std::shared_ptr<Operation>& operation : waiting)
        {
            if (!error.empty())
                operation->error = error;
            operation->done = true;
        }
    }
};

std::list<std::unique_ptr<SubscriptionManager::Job>> SubscriptionManager::waitingJobs;
std::unique_ptr<SubscriptionManager::Job> SubscriptionManager::runningJob;

std::shared_ptr<Operation> SubscriptionManager::StartAdd(NewSubscription request)
{
    auto operation = std::make_shared<Operation>();
    const std::string url = FollowedAddress(request.url);
    for (const Subscription& subscription : subscriptions)
        if (subscription.url == url || subscription.url == request.url)
        {
            operation->error = AlreadyFollowed(subscription);
            operation->done = true;
            return operation;
        }

    auto job = std::make_unique<Job>();
    job->addition = std::make_unique<Subscription>();
    Subscription& addition = *job->addition;
    addition.url = url;
    addition.mode = request.mode;
    addition.quality = request.quality;
    addition.audio_format = request.audio_format;
    addition.check_interval = request.check_interval;
    addition.backlog = request.backlog;
    addition.keep_last = request.keep_last;
    job->waiting.push_back(operation);
    log->stream << "Following \"" << url << "\"...";
    log->Flush();
    waitingJobs.push_back(std::move(job));
    StartNextJob();
    return operation;
}

std::shared_ptr<Operation> SubscriptionManager::StartCheck(const std::string& id)
{
    auto operation = std::make_shared<Operation>();
    operation->subscriptionId = id;
    if (Find(id) == nullptr)
    {
        operation->error = UnknownId(id);
        operation->done = true;
        return operation;
    }
    // A check asked for while one of the same waits is answered by that one.
    for (const std::unique_ptr<Job>& job : waitingJobs)
        if (job->subscriptionId == id)
        {
            job->waiting.push_back(operation);
            return operation;
        }
    auto job = std::make_unique<Job>();
    job->subscriptionId = id;
    job->waiting.push_back(operation);
    waitingJobs.push_back(std::move(job));
    StartNextJob();
    return operation;
}

bool SubscriptionManager::IsChecking(const std::string& id)
{
    return runningJob && !runningJob->addition && runningJob->subscriptionId == id;
}

void SubscriptionManager::DropJobsOf(const std::string& id, const std::string& why)
{
    waitingJobs.remove_if([&id, &why](const std::unique_ptr<Job>& job) {
        if (job->subscriptionId != id)
            return false;
        job->Answer(why);
        return true;
    });
}

void SubscriptionManager::DropAllJobs(const std::string& why)
{
    if (runningJob)
    {
        runningJob->stop = true;
        runningJob->thread.join();
        DownloadManager::ReturnFetchSlot();
        waitingJobs.push_front(std::move(runningJob));
    }
    for (const std::unique_ptr<Job>& job : waitingJobs)
        job->Answer(why);
    waitingJobs.clear();
}

std::unique_ptr<SubscriptionManager::Job> SubscriptionManager::ScheduledCheck()
{
    // Paused together with the downloads.
    if (XGConfig::downloader.num_threads <= 0)
        return nullptr;
    const Subscription* due = CheckSchedule::NextDue(subscriptions, Clock::now(), lastScheduledStart);
    if (due == nullptr)
        return nullptr;
    auto job = std::make_unique<Job>();
    job->subscriptionId = due->id;
    return job;
}

void SubscriptionManager::StartNextJob()
{
    if (runningJob)
        return;
    std::unique_ptr<Job> job;
    if (!waitingJobs.empty())
    {
        if (!DownloadManager::BorrowFetchSlot())
            return;
        job = std::move(waitingJobs.front());
        waitingJobs.pop_front();
    }
    else
    {
        job = ScheduledCheck();
        if (!job || !DownloadManager::BorrowFetchSlot())
            return;
        lastScheduledStart = Clock::now();
    }

    SubscriptionCheck& check = job->check;
    const Subscription* subscription = job->addition ? job->addition.get() : Find(job->subscriptionId);
    check.url = subscription->url;
    check.listingSize = XGConfig::subscriptions.listing_size;
    if (job->addition)
        check.listingSize = std::max(check.listingSize, subscription->backlog);
    check.feedUrl = XGConfig::subscriptions.feed_url;
    check.feedQuery = subscription->feed_query;
    check.listingDue = subscription->last_listing == 0 || Clock::now() - subscription->last_listing >= CheckSchedule::day;
    check.run = DownloadManager::SettingsForRun(FileLayout::SubscriptionListingName(job->addition ? "" : subscription->id));
    Job* running = job.get();
    job->thread = std::thread([running] {
        running->check.Run(&running->stop);
        running->ended = true;
    });
    runningJob = std::move(job);
}

void SubscriptionManager::TakeEndedJob()
{
    if (!runningJob || !runningJob->ended)
        return;
    runningJob->thread.join();
    std::unique_ptr<Job> job = std::move(runningJob);
    DownloadManager::ReturnFetchSlot();
    if (job->addition)
        FinishAddition(*job);
    else
        FinishCheck(*job);
    job->Answer();
}

size_t SubscriptionManager::Queue(const Subscription& subscription,
                                  const std::vector<Downloader::FlatListing::Video>& newestFirst)
{
    for (auto video = newestFirst.rbegin(); video != newestFirst.rend(); ++video)
    {
        log->stream << "Queuing \"" << video->title << "\" (" << video->url << ") of \"" << subscription.name << "\"...";
        log->Flush();
        // Each subscription takes its turns as a client would.
        queuing.push_back(
            {subscription.id,
             DownloadManager::StartQueueDownload(
                 {video->url, subscription.mode, subscription.quality, 0, subscription.audio_format},
                 {subscription.id, subscription.name}, "subscription " + subscription.id)});
    }
    return newestFirst.size();
}

void SubscriptionManager::FinishAddition(Job& job)
{
    const SubscriptionCheck& check = job.check;
    Subscription& addition = *job.addition;
    if (!check.usable)
    {
        log->stream << log->Err() << "\"" << addition.url << "\" cannot be followed: " << check.error;
        log->Flush();
        job.Answer(check.listing.isVideo ? check.error : "The address could not be listed: " + check.error);
        return;
    }
    const std::string listIdentity =
        check.listing.id.empty() ? "" : check.listing.extractorKey + " " + check.listing.id;
    for (const Subscription& subscription : subscriptions)
        if (!listIdentity.empty() && subscription.list_identity == listIdentity)
        {
            job.Answer(AlreadyFollowed(subscription));
            return;
        }

    const time_t now = Clock::now();
    addition.id = SubscriptionStore::NewId(subscriptions);
    addition.name = check.listing.title.empty() ? addition.url : check.listing.title;
    addition.list_identity = listIdentity;
    addition.feed_query = YouTubeFeed::QueryFor(check.listing, addition.url);
    addition.last_listing = now;
    addition.listing_depth = check.listingSize;
    CheckSchedule::AfterCheck(addition, now, "");

    // The newest `backlog` are queued now; the rest of what exists now is only marked as seen.
    const size_t backlog = std::min(check.videos.size(), static_cast<size_t>(addition.backlog));
    const std::vector<Downloader::FlatListing::Video> queued(check.videos.begin(), check.videos.begin() + backlog);
    SeenArchive archive(SubscriptionStore::ArchivePath(addition.id));
    const bool recorded = archive.Record(Identities(check.videos));
    addition.videos_seen = static_cast<int64_t>(archive.Size());
    addition.videos_queued = static_cast<int64_t>(backlog);
    subscriptions.push_back(addition);
    if (!recorded || !Save())
    {
        subscriptions.pop_back();
        FileSystem::Delete(archive.Path());
        for (const std::shared_ptr<Operation>& operation : job.waiting)
            operation->notSaved = true;
        job.Answer("The subscription could not be saved.");
        return;
    }
    archives.emplace(addition.id, std::move(archive));
    log->stream << "Following \"" << addition.name << "\" (" << addition.url << ") as " << addition.id << ", "
                << check.videos.size() << " videos listed.";
    log->Flush();
    Queue(addition, queued);
    for (const std::shared_ptr<Operation>& operation : job.waiting)
    {
        operation->subscriptionId = addition.id;
        operation->newVideos = backlog;
    }
    Notify(CHANGE::ADDED, subscriptions.back());
}

void SubscriptionManager::FinishCheck(Job& job)
{
    Subscription* subscription = FindMutable(job.subscriptionId);
    if (subscription == nullptr)
    {
        job.Answer(removedMeanwhile);
        return;
    }
    const SubscriptionCheck& check = job.check;
    const time_t now = Clock::now();
    const std::string previousError = subscription->last_error;
    CheckSchedule::AfterCheck(*subscription, now, check.usable ? "" : check.error);
    Metrics::Count("pelko_subscription_checks_total", {{"outcome", check.usable ? "ok" : "failed"}});
    size_t queued = 0;
    if (!check.usable)
    {
        log->stream << log->Warn() << "The check of \"" << subscription->name << "\" failed"
                    << (subscription->throttled_checks > 0
                            ? " (the site asks for fewer requests; the next check waits longer)"
                            : "")
                    << ": " << check.error;
        log->Flush();
    }
    else
    {
        // A listing longer than any before (subscriptions.listing_size grew) reaches into what
        // existed before: that is recorded, never queued.
        size_t depth = check.videos.size();
        if (check.listed)
        {
            subscription->last_listing = now;
            if (subscription->feed_query.empty())
                subscription->feed_query = YouTubeFeed::QueryFor(check.listing, subscription->url);
            if (subscription->listing_depth > 0)
                depth = std::min(depth, static_cast<size_t>(subscription->listing_depth));
            subscription->listing_depth = std::max(subscription->listing_depth, check.listingSize);
        }
        SeenArchive& archive = archives[subscription->id];
        std::vector<Downloader::FlatListing::Video> fresh;
        std::vector<std::string> older;
        std::unordered_set<std::string> listed;
        for (size_t i = 0; i < check.videos.size(); i++)
            if (!archive.Contains(check.videos[i].identity) && listed.insert(check.videos[i].identity).second)
            {
                if (i < depth)
                    fresh.push_back(check.videos[i]);
                else
                    older.push_back(check.videos[i].identity);
            }
        std::vector<std::string> recorded = Identities(fresh);
        recorded.insert(recorded.end(), older.begin(), older.end());
        if (archive.Record(recorded))
            queued = Queue(*subscription, fresh);
        else
        {
            log->stream << log->Err() << "Unable to write \"" << archive.Path()
                        << "\"! Its new videos wait for the next check.";
            log->Flush();
        }
        subscription->videos_seen = static_cast<int64_t>(archive.Size());
        subscription->videos_queued += static_cast<int64_t>(queued);
    }
    Save();
    for (const std::shared_ptr<Operation>& operation : job.waiting)
    {
        operation->newVideos = queued;
        operation->error = subscription->last_error;
    }
    Notify(!check.usable && check.error != previousError ? CHANGE::FAILED : CHANGE::CHECKED, *subscription);
}
