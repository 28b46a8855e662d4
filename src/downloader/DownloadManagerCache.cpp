#include <algorithm>
#include <filesystem>
#include <iterator>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "downloader/DownloadManager.h"
#include "downloader/FailureReasons.h"
#include "json/Json.h"
#include "logging/Logger.h"

using namespace Downloader;

namespace
{
    const char* const statusWords[] = {"queued", "downloading", "finished", "failed"};

    // Removes what `folder` holds (or the folder, when it is a link), never following a link out
    // of it; names for which `keep` holds stay.
    template <typename Keep>
    void EmptyFolder(const std::filesystem::path& folder, Keep keep)
    {
        std::error_code error;
        if (std::filesystem::is_symlink(folder, error))
        {
            std::filesystem::remove(folder, error);
            return;
        }
        if (!std::filesystem::is_directory(folder, error))
            return;
        std::vector<std::filesystem::path> doomed;
        for (const std::filesystem::directory_entry& item : std::filesystem::directory_iterator(folder, error))
            if (!keep(item.path().filename().string()))
                doomed.push_back(item.path());
        for (const std::filesystem::path& path : doomed)
            std::filesystem::remove_all(path, error);
    }
}

void DownloadManager::Save()
{
    log->stream << "Saving...";
    log->Flush();
    stateVersion++;
    // Written by the save thread, as every save of the index is, after what it still writes.
    saveThread->Submit([entries = saveFileCache, path = files.IndexFile()] { return WriteIndex(entries, path); }, {});
    WaitForSaves();
}

void DownloadManager::SaveInBackground()
{
    log->stream << "Saving...";
    log->Flush();
    stateVersion++;
    // The entries themselves are shared, not copied: a finished one no longer changes.
    saveThread->Submit([entries = saveFileCache, path = files.IndexFile()] { return WriteIndex(entries, path); },
                       [text = QueueText(), path = files.QueueFile()] {
                           return FileSystem::WriteFile(path, text);
                       });
}

bool DownloadManager::WriteIndex(const std::vector<std::shared_ptr<DownloadEntry>>& entries, const std::string& path)
{
    // Record by record: a history of tens of thousands never exists as one tree.
    std::string text;
    Ostrel::JsonArray::RenderItemsTo(text, 0, false, entries.size(),
                                      [&entries](size_t i, std::string& out, unsigned int depth) {
                                          entries[i]->AppendRecordTo(out, depth);
                                      });
    return FileSystem::WriteFile(path, text);
}

void DownloadManager::WaitForSaves()
{
    saveThread->Wait();
    LogSaves(saveThread->Report());
}

void DownloadManager::LogSaves(const SaveThread::Outcome& outcome)
{
    if (outcome.indexFailed)
    {
        log->stream << log->Err() << "Unable to save download cache index file!";
        log->Flush();
    }
    for (int i = 0; i < outcome.indexSaves; i++)
    {
        log->stream << "Saved!";
        log->Flush();
    }
    if (outcome.queueFailed)
    {
        log->stream << log->Err() << "Unable to save the download queue \"" << files.QueueFile() << "\"!";
        log->Flush();
    }
}

uint64_t DownloadManager::ListingVersion()
{
    return stateVersion + progressVersion.load(std::memory_order_acquire);
}

Ostrel::JsonArray DownloadManager::GetAlltimeCacheAsJson(int64_t max_age, uint64_t max_num)
{
    Ostrel::JsonArray result;
    for (const std::shared_ptr<const DownloadEntry>& entry : SelectListing(max_age, max_num))
        result.Add(entry->GetAsJson());
    return result;
}

DownloadManager::Listing DownloadManager::SelectListing(int64_t max_age, uint64_t max_num)
{
    const time_t now = Clock::now();
    // An entry restored at this start belongs to this run's downloads from then on.
    const auto wanted = [&](const DownloadEntry& entry) {
        const time_t listedTime = entry.restored ? std::max(entry.queued_timestamp, startTime) : entry.queued_timestamp;
        return max_age < 0 || now - listedTime <= max_age;
    };
    // The order in which the listing's sort meets them: the session, then the index.
    std::vector<std::shared_ptr<const DownloadEntry>> all(unfinishedCache.begin(), unfinishedCache.end());
    all.insert(all.end(), saveFileCache.begin(), saveFileCache.end());

    Listing chosen;
    std::copy_if(all.begin(), all.end(), std::back_inserter(chosen),
                 [&wanted](const std::shared_ptr<const DownloadEntry>& entry) { return wanted(*entry); });
    std::sort(chosen.begin(), chosen.end(), [](const auto& a, const auto& b) {
        return a->queued_timestamp > b->queued_timestamp;
    });
    const bool distinct = std::adjacent_find(chosen.begin(), chosen.end(), [](const auto& a, const auto& b) {
                              return a->queued_timestamp == b->queued_timestamp;
                          }) == chosen.end();
    if (distinct)
    {
        // With no two chosen entries queued in the same second, sorting everything newest first
        // and then selecting gives exactly these, in this order.
        if (chosen.size() > max_num)
            chosen.resize(max_num);
        return chosen;
    }

    // Equal times: the order of the whole listing's sort decides. It depends on the times and
    // their order alone, so it is taken from a sort of those, each with the place it came from.
    Ostrel::JsonArray keys;
    for (size_t i = 0; i < all.size(); i++)
    {
        Ostrel::JsonBlock key;
        key.Add(Ostrel::JsonElement("queued_timestamp", static_cast<long long>(all[i]->queued_timestamp)));
        key.Add(Ostrel::JsonElement("place", static_cast<long long>(i)));
        keys.Add(std::move(key));
    }
    keys.Sort("queued_timestamp", Ostrel::NUMERICAL_DESCENDING, ".");
    chosen.clear();
    for (size_t i = 0; i < keys.Size() && chosen.size() < max_num; i++)
    {
        const std::shared_ptr<const DownloadEntry>& entry = all[keys.At(i).GetJsonData().Get("place").GetIntData()];
        if (wanted(*entry))
            chosen.push_back(entry);
    }
    return chosen;
}

bool DownloadManager::ClearDownloadCache()
{
    if (GetNumActiveDownloads() != 0)
    {
        log->stream << "Download cache will be cleared as soon as possible...";
        log->Flush();
        shouldClearCacheASAP = true;
        return false;
    }

    log->stream << "Clearing download cache...";
    log->Flush();
    // A save still running would bring back what is cleared.
    WaitForSaves();

    // Of the cache directory itself only its own two files go; what else someone put there stays.
    EmptyFolder(files.CacheDirectory(), [](const std::string& name) { return !FileLayout::IsListFile(name); });
    for (const std::string& folder : files.Folders())
        EmptyFolder(folder, [](const std::string&) { return false; });
    CreateCacheFolders();

    // Fetches under way bring nothing back; their files go once they have ended.
    for (const std::unique_ptr<MetadataFetch>& fetch : metadataFetches)
        Withdraw(*fetch, MetadataFetch::REMOVED);
    std::list<std::shared_ptr<DownloadEntry>> session = std::move(unfinishedCache);
    std::vector<std::shared_ptr<DownloadEntry>> index = std::move(saveFileCache);
    unfinishedCache.clear();
    saveFileCache.clear();
    playlistsInWaiting.clear();
    stateVersion++;
    for (const std::shared_ptr<DownloadEntry>& entry : session)
        Tell(DOWNLOAD_EVENT::REMOVED, *entry);
    for (const std::shared_ptr<DownloadEntry>& entry : index)
        Tell(DOWNLOAD_EVENT::REMOVED, *entry);
    return true;
}

void DownloadManager::DeletePartialFiles(const std::string& id)
{
    for (const std::string& folder : files.RunFolders())
        EmptyFolder(folder, [&id](const std::string& name) { return !FileLayout::IsFileOf(name, id); });
}

void DownloadManager::DeleteFilesOf(const std::string& id)
{
    DeletePartialFiles(id);
    FileSystem::Delete(files.MetadataFile(id));
}

void DownloadManager::CreateCacheFolders()
{
    FileSystem::CreateDirectoryIfNotExists(files.CacheDirectory());
    for (const std::string& folder : files.Folders())
        FileSystem::CreateDirectoryIfNotExists(folder);
}

std::shared_ptr<PendingChange> DownloadManager::StartRemoval(std::string id)
{
    return StartRemovals({std::move(id)}).front();
}

std::vector<std::shared_ptr<PendingChange>> DownloadManager::StartRemovals(const std::vector<std::string>& ids)
{
    std::vector<std::shared_ptr<PendingChange>> changes;
    Saves saves;
    for (const std::string& id : ids)
        changes.push_back(Unlink(id, saves));
    // Each file once, however many entries left it: a history of years takes a while to write.
    if (saves.queue)
        SaveQueue();
    if (saves.index)
        Save();
    return changes;
}

std::shared_ptr<PendingChange> DownloadManager::Unlink(const std::string& id, Saves& saves)
{
    auto change = std::make_shared<PendingChange>();
    change->id = id;
    const auto hasId = [&id](const std::shared_ptr<DownloadEntry>& entry) { return entry->pelko_id == id; };

    if (MetadataFetch* fetch = FetchOf(id))
        return RemoveFetch(*fetch);
    const auto session = std::find_if(unfinishedCache.begin(), unfinishedCache.end(), hasId);
    if (session != unfinishedCache.end())
    {
        const std::shared_ptr<DownloadEntry> entry = *session;
        WorkerThread* worker = WorkerOf(entry.get());
        unfinishedCache.erase(session);
        saves.queue = true;
        Tell(DOWNLOAD_EVENT::REMOVED, *entry);
        if (worker != nullptr)
        {
            // The worker keeps the entry alive; its files go once its program has ended.
            worker->removeWhenEnded = true;
            Stop(*worker, FAILED);
            worker->waiting.push_back(change);
            return change;
        }
    }
    else
    {
        const auto indexed = std::find_if(saveFileCache.begin(), saveFileCache.end(), hasId);
        if (indexed == saveFileCache.end())
            return nullptr;
        const std::shared_ptr<DownloadEntry> entry = *indexed;
        saveFileCache.erase(indexed);
        saves.index = true;
        Tell(DOWNLOAD_EVENT::REMOVED, *entry);
    }
    DeleteFilesOf(id);
    change->done = true;
    return change;
}

std::shared_ptr<PendingChange> DownloadManager::StartRemoval(const PendingChange& queued)
{
    if (queued.done)
        return queued.id.empty() ? nullptr : StartRemoval(queued.id);
    for (const std::unique_ptr<MetadataFetch>& fetch : metadataFetches)
        if (fetch->change.get() == &queued && fetch->withdrawal != MetadataFetch::REMOVED)
            return RemoveFetch(*fetch);
    return nullptr;
}

std::shared_ptr<PendingChange> DownloadManager::RemoveFetch(MetadataFetch& fetch)
{
    auto change = std::make_shared<PendingChange>();
    change->id = fetch.change->id;
    // A retried entry leaves the list now; the fetch's files go once it has ended.
    if (fetch.retried != nullptr)
    {
        unfinishedCache.remove(fetch.retried);
        SaveQueue();
        Tell(DOWNLOAD_EVENT::REMOVED, *fetch.retried);
    }
    Withdraw(fetch, MetadataFetch::REMOVED);
    fetch.waiting.push_back(change);
    return change;
}

bool DownloadManager::RemoveFromCacheByID(std::string id)
{
    const std::shared_ptr<PendingChange> change = StartRemoval(std::move(id));
    if (change == nullptr)
        return false;
    WaitUntilDone(*change);
    return true;
}

ChangeRequest DownloadManager::CancelDownload(std::string id)
{
    if (MetadataFetch* fetch = FetchOf(id))
    {
        Withdraw(*fetch, MetadataFetch::CANCELLED);
        auto change = std::make_shared<PendingChange>();
        change->id = id;
        fetch->waiting.push_back(change);
        return {change, ""};
    }
    const auto session = std::find_if(unfinishedCache.begin(), unfinishedCache.end(),
                                      [&id](const std::shared_ptr<DownloadEntry>& entry) { return entry->pelko_id == id; });
    if (session == unfinishedCache.end())
        return {nullptr, DoesPelkoIDExist(id) ? "The download \"" + id + "\" has already finished: there is nothing to cancel."
                                              : "No download has the id \"" + id + "\"."};
    const std::shared_ptr<DownloadEntry> entry = *session;
    WorkerThread* worker = WorkerOf(entry.get());
    if (worker == nullptr && entry->status != QUEUED)
        return {nullptr, "The download \"" + id + "\" has already " +
                             (entry->status == FAILED ? "failed" : "finished") + ": there is nothing to cancel."};

    auto change = std::make_shared<PendingChange>();
    change->id = id;
    if (worker != nullptr)
    {
        Stop(*worker, FAILED);
        worker->waiting.push_back(change);
        return {change, ""};
    }
    entry->Fail(FailureReasons::cancelled, -1);
    DeleteFilesOf(id);
    SaveQueue();
    log->stream << "Cancelled download " << id << " \"" << entry->title << "\".";
    log->Flush();
    Tell(DOWNLOAD_EVENT::CANCELLED, *entry);
    change->done = true;
    return {change, ""};
}

ChangeRequest DownloadManager::RetryDownload(std::string id, std::string requester)
{
    return RetryDownloads({std::move(id)}, requester).front();
}

std::vector<ChangeRequest> DownloadManager::RetryDownloads(const std::vector<std::string>& ids,
                                                            const std::string& requester)
{
    std::vector<ChangeRequest> requests;
    Saves saves;
    for (const std::string& id : ids)
        requests.push_back(Retry(id, requester, saves));
    if (saves.queue)
        SaveQueue();
    return requests;
}

ChangeRequest DownloadManager::Retry(const std::string& id, const std::string& requester, Saves& saves)
{
    const auto session = std::find_if(unfinishedCache.begin(), unfinishedCache.end(),
                                      [&id](const std::shared_ptr<DownloadEntry>& entry) { return entry->pelko_id == id; });
    if (session == unfinishedCache.end())
        return {nullptr, DoesPelkoIDExist(id)
                             ? "The download \"" + id + "\" has finished, not failed: only failed downloads can be retried."
                             : "No download has the id \"" + id + "\"."};
    const std::shared_ptr<DownloadEntry> entry = *session;
    const DOWNLOAD_STATUS status = entry->status;
    if (status != FAILED)
        return {nullptr, "The download \"" + id + "\" is " + statusWords[status] +
                             ", not failed: only failed downloads can be retried."};
    const bool fetching = std::any_of(metadataFetches.begin(), metadataFetches.end(),
                                      [&entry](const std::unique_ptr<MetadataFetch>& fetch) { return fetch->retried == entry; });
    if (fetching)
        return {nullptr, "The download \"" + id + "\" is already being retried."};

    if (entry->webpage_url.empty())
    {
        // Its details were never read: they are fetched again from the address the client gave.
        std::unique_ptr<MetadataFetch> fetch = NewFetch(RequestOf(*entry, entry->video_url), requester, id);
        fetch->retried = entry;
        return {BeginFetch(std::move(fetch)), ""};
    }
    auto change = std::make_shared<PendingChange>();
    change->id = id;
    entry->Requeue();
    DeletePartialFiles(id);
    saves.queue = true;
    Tell(DOWNLOAD_EVENT::QUEUED, *entry);
    change->done = true;
    return {change, ""};
}
