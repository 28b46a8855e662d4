#include "subscriptions/SubscriptionManager.h"
#include <algorithm>
#include <functional>
#include <random>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "json/Json.h"
#include "logging/Logger.h"
#include "subscriptions/SubscriptionCheck.h"
#include "subscriptions/YouTubeFeed.h"

using namespace Subscriptions;
using Downloader::DownloadManager;

namespace
{
    const std::string settingsFile = "subscriptions.json";
    const std::string archiveFolder = "subscriptions";
    constexpr time_t day = 24 * 60 * 60;
    constexpr const char* shuttingDown = "The server is shutting down.";
    constexpr const char* removedMeanwhile = "The subscription was removed.";

    time_t IntervalSeconds(const Subscription& subscription)
    {
        return static_cast<time_t>(subscription.check_interval) * 60;
    }

    // A place in the interval that stays the subscription's own, so that subscriptions made or
    // restarted together do not all check at the same moment.
    time_t Spread(const Subscription& subscription)
    {
        return static_cast<time_t>(std::hash<std::string>{}(subscription.id) %
                                   static_cast<size_t>(std::max<time_t>(IntervalSeconds(subscription), 1)));
    }

    // After a refusal as too many: twice the interval, twice that after the next, up to a day.
    time_t Delay(const Subscription& subscription)
    {
        time_t delay = IntervalSeconds(subscription);
        for (int32_t i = 0; i < subscription.throttled_checks && delay < day; i++)
            delay *= 2;
        return std::min(delay, std::max(day, IntervalSeconds(subscription)));
    }

    std::vector<std::string> Identities(const std::vector<Downloader::FlatListing::Video>& videos)
    {
        std::vector<std::string> identities;
        for (const Downloader::FlatListing::Video& video : videos)
            identities.push_back(video.identity);
        return identities;
    }

    // A channel's own address lists its tabs as playlists of their own; its videos are what
    // people follow it for.
    std::string FollowedAddress(const std::string& url)
    {
        static const std::vector<std::string> channelPaths = {"/@", "/channel/", "/c/", "/user/"};
        const size_t host = url.find("youtube.com/");
        if (host == std::string::npos || url.find_first_of("?#") != std::string::npos)
            return url;
        const size_t pathStart = url.find('/', host);
        std::string path = url.substr(pathStart);
        while (!path.empty() && path.back() == '/')
            path.pop_back();
        for (const std::string& prefix : channelPaths)
            if (path.rfind(prefix, 0) == 0 && path.size() > prefix.size() &&
                path.find('/', prefix.size()) == std::string::npos)
                return url.substr(0, pathStart) + path + "/videos";
        return url;
    }
}

struct SubscriptionManager::Job
{
    std::string subscriptionId;            // of a check
    std::unique_ptr<Subscription> addition;  // of an addition: not yet listed
    SubscriptionCheck check;
    std::vector<std::shared_ptr<Operation>> waiting;
    std::atomic<bool> stop = false;
    std::atomic<bool> ended = false;  // set by the thread once it is done with the check
    std::thread thread;
};

std::list<Subscription> SubscriptionManager::subscriptions;
std::map<std::string, SeenArchive> SubscriptionManager::archives;
std::list<std::unique_ptr<SubscriptionManager::Job>> SubscriptionManager::waitingJobs;
std::unique_ptr<SubscriptionManager::Job> SubscriptionManager::runningJob;
std::list<std::shared_ptr<Operation>> SubscriptionManager::removalsUnderWay;
std::vector<SubscriptionManager::Observer> SubscriptionManager::observers;
uint64_t SubscriptionManager::keptListingVersion = 0;
Logging::Logger* SubscriptionManager::log = nullptr;

void SubscriptionManager::PreInit()
{
    log = new Logging::Logger("SubscriptionManager");
    subscriptions.clear();
    archives.clear();
    waitingJobs.clear();
    runningJob.reset();
    removalsUnderWay.clear();
    keptListingVersion = 0;
    FileSystem::CreateDirectoryIfNotExists(archiveFolder);
    Load();
}

void SubscriptionManager::Load()
{
    if (!FileSystem::Exists(settingsFile))
        return;
    const std::string text = FileSystem::ReadFile(settingsFile);
    Ostrel::JsonData document;
    if (Ostrel::IsJsonValid(text))
        document.Parse(text);
    if (document.GetDataType() != Ostrel::ARRAY)
    {
        log->stream << log->Err() << "Unable to read \"" << settingsFile << "\"! No channel or playlist is followed.";
        log->Flush();
        return;
    }
    const time_t now = Clock::now();
    const Ostrel::JsonArray& records = document.GetArrayData();
    for (size_t i = 0; i < records.Size(); i++)
    {
        Subscription subscription;
        if (records.At(i).GetDataType() != Ostrel::JSON ||
            !Subscription::FromRecord(records.At(i).GetJsonData(), subscription) || Find(subscription.id) != nullptr)
            continue;
        // Checks missed while the server was down are spread over the interval from now.
        if (subscription.next_check < now)
            subscription.next_check = now + Spread(subscription);
        SeenArchive archive(ArchivePath(subscription.id));
        archive.Load();
        subscription.videos_seen = static_cast<int64_t>(archive.Size());
        archives.emplace(subscription.id, std::move(archive));
        subscriptions.push_back(std::move(subscription));
    }
    if (!subscriptions.empty())
    {
        log->stream << "Following " << subscriptions.size() << " channels and playlists.";
        log->Flush();
    }
}

bool SubscriptionManager::Save()
{
    Ostrel::JsonArray records;
    for (const Subscription& subscription : subscriptions)
        records.Add(subscription.GetAsRecord());
    if (FileSystem::WriteFile(settingsFile, records.Render(0, false)))
        return true;
    log->stream << log->Err() << "Unable to write \"" << settingsFile << "\"!";
    log->Flush();
    return false;
}

void SubscriptionManager::Update()
{
    TakeEndedJob();
    SettleRemovals();
    KeepOnlyLast();
    StartNextJob();
}

bool SubscriptionManager::Advance(const Operation& operation)
{
    Update();
    return operation.done;
}

void SubscriptionManager::OnExit()
{
    if (runningJob)
    {
        runningJob->stop = true;
        runningJob->thread.join();
        DownloadManager::ReturnFetchSlot();
        waitingJobs.push_front(std::move(runningJob));
    }
    for (const std::unique_ptr<Job>& job : waitingJobs)
        for (const std::shared_ptr<Operation>& operation : job->waiting)
        {
            operation->error = shuttingDown;
            operation->done = true;
        }
    waitingJobs.clear();
}

void SubscriptionManager::PostExit()
{
    delete log;
    log = nullptr;
}

const std::list<Subscription>& SubscriptionManager::List()
{
    return subscriptions;
}

const Subscription* SubscriptionManager::Find(const std::string& id)
{
    return FindMutable(id);
}

Subscription* SubscriptionManager::FindMutable(const std::string& id)
{
    for (Subscription& subscription : subscriptions)
        if (subscription.id == id)
            return &subscription;
    return nullptr;
}

void SubscriptionManager::AddObserver(Observer observer)
{
    observers.push_back(std::move(observer));
}

void SubscriptionManager::Notify(CHANGE change, const Subscription& subscription)
{
    for (const Observer& observer : observers)
        observer(change, subscription);
}

std::string SubscriptionManager::ArchivePath(const std::string& id)
{
    return archiveFolder + "/" + id + ".archive";
}

std::string SubscriptionManager::NewId()
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    static std::mt19937 random{std::random_device{}()};
    std::string id;
    do
    {
        id.clear();
        for (int i = 0; i < 10; i++)
            id += digits[random() % (sizeof(digits) - 1)];
    } while (Find(id) != nullptr || FileSystem::Exists(ArchivePath(id)));
    return id;
}

std::shared_ptr<Operation> SubscriptionManager::StartAdd(NewSubscription request)
{
    auto operation = std::make_shared<Operation>();
    const std::string url = FollowedAddress(request.url);
    for (const Subscription& subscription : subscriptions)
        if (subscription.url == url || subscription.url == request.url)
        {
            operation->error = "The address is already followed as \"" + subscription.name + "\" (id " +
                               subscription.id + ").";
            operation->done = true;
            return operation;
        }

    auto job = std::make_unique<Job>();
    job->addition = std::make_unique<Subscription>();
    Subscription& addition = *job->addition;
    addition.url = url;
    addition.mode = request.mode;
    addition.quality = request.quality;
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
        operation->error = "No subscription has the id '" + id + "'.";
        operation->done = true;
        return operation;
    }
    // A check asked for while one of the same is waiting or running is answered by that one.
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

std::shared_ptr<Operation> SubscriptionManager::Change(const std::string& id, const SubscriptionChanges& changes)
{
    auto operation = std::make_shared<Operation>();
    operation->subscriptionId = id;
    operation->done = true;
    Subscription* subscription = FindMutable(id);
    if (subscription == nullptr)
    {
        operation->error = "No subscription has the id '" + id + "'.";
        return operation;
    }
    const Subscription before = *subscription;
    if (changes.name)
        subscription->name = *changes.name;
    if (changes.mode)
        subscription->mode = *changes.mode;
    if (changes.quality)
        subscription->quality = *changes.quality;
    if (changes.keep_last)
        subscription->keep_last = *changes.keep_last;
    if (changes.enabled)
        subscription->enabled = *changes.enabled;
    if (changes.check_interval)
    {
        subscription->check_interval = *changes.check_interval;
        const time_t from = subscription->last_check != 0 ? subscription->last_check : Clock::now();
        subscription->next_check = std::max(Clock::now(), from + IntervalSeconds(*subscription));
    }
    if (!Save())
    {
        *subscription = before;
        operation->error = "The subscription could not be saved.";
        operation->notSaved = true;
        return operation;
    }
    // keep_last may now let go of more.
    keptListingVersion = 0;
    Notify(CHANGE::CHANGED, *subscription);
    return operation;
}

std::shared_ptr<Operation> SubscriptionManager::StartRemoval(const std::string& id, bool deleteDownloads)
{
    auto operation = std::make_shared<Operation>();
    operation->subscriptionId = id;
    auto found = std::find_if(subscriptions.begin(), subscriptions.end(),
                              [&id](const Subscription& subscription) { return subscription.id == id; });
    if (found == subscriptions.end())
    {
        operation->error = "No subscription has the id '" + id + "'.";
        operation->done = true;
        return operation;
    }
    const Subscription removed = *found;
    subscriptions.erase(found);
    if (!Save())
    {
        subscriptions.push_back(removed);
        operation->error = "The subscription could not be removed: its file could not be saved.";
        operation->notSaved = true;
        operation->done = true;
        return operation;
    }
    archives.erase(id);
    FileSystem::Delete(ArchivePath(id));
    waitingJobs.remove_if([&id](const std::unique_ptr<Job>& job) {
        if (job->subscriptionId != id)
            return false;
        for (const std::shared_ptr<Operation>& waiting : job->waiting)
        {
            waiting->error = removedMeanwhile;
            waiting->done = true;
        }
        return true;
    });
    log->stream << "No longer following \"" << removed.url << "\" (" << removed.name << ").";
    log->Flush();

    if (deleteDownloads)
        for (const std::shared_ptr<const Downloader::DownloadEntry>& entry :
             DownloadManager::SelectListing(-1, std::numeric_limits<uint64_t>::max()))
            if (entry->subscription_id == id)
                if (auto change = DownloadManager::StartRemoval(entry->pelko_id))
                    operation->removals.push_back(std::move(change));
    removalsUnderWay.push_back(operation);
    SettleRemovals();
    Notify(CHANGE::REMOVED, removed);
    return operation;
}

void SubscriptionManager::SettleRemovals()
{
    removalsUnderWay.remove_if([](const std::shared_ptr<Operation>& operation) {
        operation->done = std::all_of(
            operation->removals.begin(), operation->removals.end(),
            [](const std::shared_ptr<Downloader::PendingChange>& change) { return DownloadManager::IsDone(*change); });
        return operation->done;
    });
}

void SubscriptionManager::KeepOnlyLast()
{
    const bool anyLimited = std::any_of(subscriptions.begin(), subscriptions.end(),
                                        [](const Subscription& subscription) { return subscription.keep_last > 0; });
    const uint64_t version = DownloadManager::ListingVersion();
    if (!anyLimited || version == keptListingVersion)
        return;
    keptListingVersion = version;

    std::unordered_map<std::string, int32_t> limits;
    for (const Subscription& subscription : subscriptions)
        if (subscription.keep_last > 0)
            limits[subscription.id] = subscription.keep_last;
    std::unordered_map<std::string, int32_t> kept;
    std::vector<std::string> surplus;
    // Newest first, so what is beyond the limit is the oldest.
    for (const std::shared_ptr<const Downloader::DownloadEntry>& entry :
         DownloadManager::SelectListing(-1, std::numeric_limits<uint64_t>::max()))
    {
        const auto limit = limits.find(entry->subscription_id);
        if (limit == limits.end() || entry->status != Downloader::FINISHED)
            continue;
        if (++kept[entry->subscription_id] > limit->second)
            surplus.push_back(entry->pelko_id);
    }
    for (const std::string& id : surplus)
    {
        log->stream << "Removing download " << id << ": its subscription keeps only its newest.";
        log->Flush();
        DownloadManager::StartRemoval(id);
    }
}

std::unique_ptr<SubscriptionManager::Job> SubscriptionManager::ScheduledCheck()
{
    // Paused together with the downloads.
    if (XGConfig::downloader.num_threads <= 0)
        return nullptr;
    const time_t now = Clock::now();
    const Subscription* due = nullptr;
    for (const Subscription& subscription : subscriptions)
        if (subscription.enabled && subscription.next_check <= now &&
            (due == nullptr || subscription.next_check < due->next_check))
            due = &subscription;
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
        if (!job)
            return;
        if (!DownloadManager::BorrowFetchSlot())
            return;
    }

    SubscriptionCheck& check = job->check;
    const Subscription* subscription = job->addition ? job->addition.get() : Find(job->subscriptionId);
    check.url = subscription->url;
    check.listingSize = XGConfig::subscriptions.listing_size;
    if (job->addition)
        check.listingSize = std::max(check.listingSize, subscription->backlog);
    check.feedUrl = XGConfig::subscriptions.feed_url;
    check.feedQuery = subscription->feed_query;
    check.listingDue = subscription->last_listing == 0 || Clock::now() - subscription->last_listing >= day;
    check.run = DownloadManager::SettingsForRun("subscription-" + (job->addition ? "new" : subscription->id));
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
    for (const std::shared_ptr<Operation>& operation : job->waiting)
        operation->done = true;
}

size_t SubscriptionManager::Queue(const Subscription& subscription,
                                  const std::vector<Downloader::FlatListing::Video>& newestFirst)
{
    for (auto video = newestFirst.rbegin(); video != newestFirst.rend(); ++video)
    {
        log->stream << "Queuing \"" << video->title << "\" (" << video->url << ") of \"" << subscription.name << "\"...";
        log->Flush();
        // Each subscription takes its turns as a client would.
        DownloadManager::StartQueueDownload(video->url, subscription.mode, subscription.quality,
                                            {subscription.id, subscription.name}, "subscription " + subscription.id);
    }
    return newestFirst.size();
}

void SubscriptionManager::FinishAddition(Job& job)
{
    const SubscriptionCheck& check = job.check;
    Subscription& addition = *job.addition;
    auto refuse = [&job](const std::string& error) {
        for (const std::shared_ptr<Operation>& operation : job.waiting)
            operation->error = error;
    };
    if (!check.usable)
    {
        log->stream << log->Err() << "\"" << addition.url << "\" cannot be followed: " << check.error;
        log->Flush();
        refuse(check.listing.isVideo ? check.error : "The address could not be listed: " + check.error);
        return;
    }
    const std::string listIdentity =
        check.listing.id.empty() ? "" : check.listing.extractorKey + " " + check.listing.id;
    for (const Subscription& subscription : subscriptions)
        if (!listIdentity.empty() && subscription.list_identity == listIdentity)
        {
            refuse("The address is already followed as \"" + subscription.name + "\" (id " + subscription.id + ").");
            return;
        }

    const time_t now = Clock::now();
    addition.id = NewId();
    addition.name = check.listing.title.empty() ? addition.url : check.listing.title;
    addition.list_identity = listIdentity;
    addition.feed_query = YouTubeFeed::QueryFor(check.listing, addition.url);
    addition.last_check = now;
    addition.last_listing = now;
    addition.next_check = now + IntervalSeconds(addition);

    // The newest `backlog` are queued now; the rest of what exists now is only marked as seen.
    const size_t backlog = std::min(check.videos.size(), static_cast<size_t>(addition.backlog));
    const std::vector<Downloader::FlatListing::Video> queued(check.videos.begin(), check.videos.begin() + backlog);
    SeenArchive archive(ArchivePath(addition.id));
    FileSystem::Delete(archive.Path());
    const bool recorded = archive.Record(Identities(check.videos));
    addition.videos_seen = static_cast<int64_t>(archive.Size());
    addition.videos_queued = static_cast<int64_t>(backlog);
    subscriptions.push_back(addition);
    if (!recorded || !Save())
    {
        subscriptions.pop_back();
        FileSystem::Delete(archive.Path());
        Save();
        refuse("The subscription could not be saved.");
        for (const std::shared_ptr<Operation>& operation : job.waiting)
            operation->notSaved = true;
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
        for (const std::shared_ptr<Operation>& operation : job.waiting)
            operation->error = removedMeanwhile;
        return;
    }
    const SubscriptionCheck& check = job.check;
    const time_t now = Clock::now();
    subscription->last_check = now;
    size_t queued = 0;
    if (!check.usable)
    {
        const bool throttled = SubscriptionCheck::IsThrottled(check.error);
        subscription->throttled_checks = throttled ? subscription->throttled_checks + 1 : 0;
        subscription->last_error = check.error;
        subscription->next_check = now + (throttled ? Delay(*subscription) : IntervalSeconds(*subscription));
        log->stream << log->Warn() << "The check of \"" << subscription->name << "\" failed"
                    << (throttled ? " (the site asks for fewer requests; the next check waits longer)" : "") << ": "
                    << check.error;
        log->Flush();
    }
    else
    {
        subscription->last_error.clear();
        subscription->throttled_checks = 0;
        subscription->next_check = now + IntervalSeconds(*subscription);
        if (check.listed)
        {
            subscription->last_listing = now;
            if (subscription->feed_query.empty())
                subscription->feed_query = YouTubeFeed::QueryFor(check.listing, subscription->url);
        }
        SeenArchive& archive = archives[subscription->id];
        std::vector<Downloader::FlatListing::Video> fresh;
        std::unordered_set<std::string> listed;
        for (const Downloader::FlatListing::Video& video : check.videos)
            if (!archive.Contains(video.identity) && listed.insert(video.identity).second)
                fresh.push_back(video);
        if (archive.Record(Identities(fresh)))
            queued = Queue(*subscription, fresh);
        else
        {
            log->stream << log->Err() << "Unable to write \"" << archive.Path() << "\"! Its new videos wait for the next check.";
            log->Flush();
        }
        subscription->videos_seen = static_cast<int64_t>(archive.Size());
        subscription->videos_queued += static_cast<int64_t>(queued);
    }
    Save();
    for (const std::shared_ptr<Operation>& operation : job.waiting)
    {
        operation->newVideos = queued;
        operation->error = check.usable ? "" : check.error;
    }
    Notify(CHANGE::CHECKED, *subscription);
}
