#include "subscriptions/SubscriptionManager.h"
#include <algorithm>
#include <limits>
#include <unordered_map>
#include "app/Clock.h"
#include "app/FileLayout.h"
#include "app/FileSystem.h"
#include "logging/Logger.h"
#include "subscriptions/CheckSchedule.h"
#include "subscriptions/SubscriptionStore.h"

using namespace Subscriptions;
using Downloader::DownloadManager;

namespace
{
    constexpr const char* shuttingDown = "The server is shutting down.";
}

std::list<Subscription> SubscriptionManager::subscriptions;
std::map<std::string, SeenArchive> SubscriptionManager::archives;
time_t SubscriptionManager::lastScheduledStart = 0;
std::list<SubscriptionManager::Queuing> SubscriptionManager::queuing;
std::list<std::shared_ptr<Operation>> SubscriptionManager::removalsUnderWay;
std::vector<SubscriptionManager::Observer> SubscriptionManager::observers;
bool SubscriptionManager::trimDue = false;
Logging::Logger* SubscriptionManager::log = nullptr;

void SubscriptionManager::PreInit()
{
    log = new Logging::Logger("SubscriptionManager");
    lastScheduledStart = 0;
    queuing.clear();
    removalsUnderWay.clear();
    observers.clear();
    // What finished while the server was down may be more than keep_last lets stay.
    trimDue = true;

    SubscriptionStore::Contents contents = SubscriptionStore::Load();
    subscriptions = std::move(contents.subscriptions);
    archives = std::move(contents.archives);
    if (contents.unreadable)
    {
        log->stream << log->Err() << "Unable to read \"" << FileLayout::subscriptionsFile
                    << "\"! No channel or playlist is followed.";
        log->Flush();
    }
    else if (!subscriptions.empty())
    {
        log->stream << "Following " << subscriptions.size() << " channels and playlists.";
        log->Flush();
    }

    DownloadManager::AddEventListener([](Downloader::DOWNLOAD_EVENT event, const Downloader::DownloadEntry& entry) {
        if (event == Downloader::DOWNLOAD_EVENT::FINISHED && !entry.subscription_id.empty())
            trimDue = true;
    });
}

bool SubscriptionManager::Save()
{
    if (SubscriptionStore::Save(subscriptions))
        return true;
    log->stream << log->Err() << "Unable to write \"" << FileLayout::subscriptionsFile << "\"!";
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


void SubscriptionManager::OnExit()
{
    DropAllJobs(shuttingDown);
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

std::string SubscriptionManager::UnknownId(const std::string& id)
{
    return "No subscription has the id '" + id + "'.";
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

std::shared_ptr<Operation> SubscriptionManager::Change(const std::string& id, const SubscriptionChanges& changes)
{
    auto operation = std::make_shared<Operation>();
    operation->subscriptionId = id;
    operation->done = true;
    Subscription* subscription = FindMutable(id);
    if (subscription == nullptr)
    {
        operation->error = UnknownId(id);
        return operation;
    }
    const Subscription before = *subscription;
    if (changes.name)
        subscription->name = *changes.name;
    if (changes.mode)
        subscription->mode = *changes.mode;
    if (changes.quality)
        subscription->quality = *changes.quality;
    if (changes.audio_format)
        subscription->audio_format = *changes.audio_format;
    if (changes.keep_last)
        subscription->keep_last = *changes.keep_last;
    if (changes.enabled)
        subscription->enabled = *changes.enabled;
    if (changes.check_interval)
    {
        subscription->check_interval = *changes.check_interval;
        const time_t from = subscription->last_check != 0 ? subscription->last_check : Clock::now();
        subscription->next_check = std::max(Clock::now(), from + CheckSchedule::Wait(*subscription));
    }
    if (!Save())
    {
        *subscription = before;
        operation->error = "The subscription could not be saved.";
        operation->notSaved = true;
        return operation;
    }
    trimDue = trimDue || subscription->keep_last != before.keep_last;
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
        operation->error = UnknownId(id);
        operation->done = true;
        return operation;
    }
    const Subscription removed = *found;
    const auto next = subscriptions.erase(found);
    if (!Save())
    {
        subscriptions.insert(next, removed);
        operation->error = "The subscription could not be removed: its file could not be saved.";
        operation->notSaved = true;
        operation->done = true;
        return operation;
    }
    archives.erase(id);
    FileSystem::Delete(SubscriptionStore::ArchivePath(id));
    DropJobsOf(id, removedMeanwhile);
    log->stream << "No longer following \"" << removed.url << "\" (" << removed.name << ").";
    log->Flush();

    if (deleteDownloads)
    {
        std::vector<std::string> ids;
        for (const std::shared_ptr<const Downloader::DownloadEntry>& entry :
             DownloadManager::SelectListing(-1, std::numeric_limits<uint64_t>::max()))
            if (entry->subscription_id == id)
                ids.push_back(entry->pelko_id);
        for (std::shared_ptr<Downloader::PendingChange>& change : DownloadManager::StartRemovals(ids))
            if (change)
                operation->removals.push_back(std::move(change));
        // Those still being fetched have no id yet.
        for (const Queuing& pending : queuing)
            if (pending.subscriptionId == id && !pending.change->done)
                if (auto change = DownloadManager::StartRemoval(*pending.change))
                    operation->removals.push_back(std::move(change));
    }
    queuing.remove_if([&id](const Queuing& pending) { return pending.subscriptionId == id; });
    removalsUnderWay.push_back(operation);
    SettleRemovals();
    Notify(CHANGE::REMOVED, removed);
    return operation;
}

void SubscriptionManager::SettleRemovals()
{
    queuing.remove_if([](const Queuing& pending) { return pending.change->done; });
    removalsUnderWay.remove_if([](const std::shared_ptr<Operation>& operation) {
        operation->done = std::all_of(
            operation->removals.begin(), operation->removals.end(),
            [](const std::shared_ptr<Downloader::PendingChange>& change) { return DownloadManager::IsDone(*change); });
        return operation->done;
    });
}

void SubscriptionManager::KeepOnlyLast()
{
    if (!trimDue)
        return;
    trimDue = false;
    std::unordered_map<std::string, int32_t> limits;
    for (const Subscription& subscription : subscriptions)
        if (subscription.keep_last > 0)
            limits[subscription.id] = subscription.keep_last;
    if (limits.empty())
        return;

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
