#include <algorithm>
#include <filesystem>
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

    bool NamesFileOf(const std::string& name, const std::string& id)
    {
        return name.size() > id.size() && name.compare(0, id.size(), id) == 0 && name[id.size()] == '.';
    }
}

void DownloadManager::Save()
{
    log->stream << "Saving...";
    log->Flush();

    Ostrel::JsonArray records;
    for (const std::shared_ptr<DownloadEntry>& entry : saveFileCache)
        records.Add(entry->GetAsRecord());
    if (!FileSystem::WriteFile(CacheDirectory() + "/index.json", Ostrel::JsonData(records).Render(false)))
    {
        log->stream << log->Err() << "Unable to save download cache index file!";
        log->Flush();
    }

    log->stream << "Saved!";
    log->Flush();
}

Ostrel::JsonArray DownloadManager::GetAlltimeCacheAsJson(int64_t max_age, uint64_t max_num)
{
    const time_t now = Clock::now();
    // An entry restored at this start belongs to this run's downloads from then on.
    const auto listedTime = [](time_t queued, bool restored) { return restored ? std::max(queued, startTime) : queued; };
    const auto wanted = [&](time_t queued, bool restored) {
        return max_age < 0 || now - listedTime(queued, restored) <= max_age;
    };

    std::vector<const DownloadEntry*> chosen;
    for (const std::shared_ptr<DownloadEntry>& entry : unfinishedCache)
        if (wanted(entry->queued_timestamp, entry->restored))
            chosen.push_back(entry.get());
    for (const std::shared_ptr<DownloadEntry>& entry : saveFileCache)
        if (wanted(entry->queued_timestamp, entry->restored))
            chosen.push_back(entry.get());
    std::sort(chosen.begin(), chosen.end(), [](const DownloadEntry* a, const DownloadEntry* b) {
        return a->queued_timestamp > b->queued_timestamp;
    });
    const bool distinct = std::adjacent_find(chosen.begin(), chosen.end(), [](const DownloadEntry* a, const DownloadEntry* b) {
                              return a->queued_timestamp == b->queued_timestamp;
                          }) == chosen.end();

    Ostrel::JsonArray result;
    if (distinct)
    {
        // With no two chosen entries queued in the same second, sorting everything newest first and
        // then selecting gives exactly these, in this order.
        for (size_t i = 0; i < chosen.size() && i < max_num; i++)
            result.Add(chosen[i]->GetAsJson());
        return result;
    }

    // Equal times: the order of the whole listing's sort decides, so sort all of it.
    Ostrel::JsonArray all;
    for (const std::shared_ptr<DownloadEntry>& entry : unfinishedCache)
        all.Add(entry->GetAsJson());
    for (const std::shared_ptr<DownloadEntry>& entry : saveFileCache)
        all.Add(entry->GetAsJson());
    all.Sort("queued_timestamp", Ostrel::NUMERICAL_DESCENDING, ".");
    for (size_t i = 0; i < all.Size() && result.Size() < max_num; i++)
    {
        const Ostrel::JsonBlock& item = all.At(i).GetJsonData();
        if (wanted(static_cast<time_t>(item.Get("queued_timestamp").GetIntData()), item.Get("restored").GetBoolData()))
            result.Add(all.At(i));
    }
    return result;
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

    // Only what the cache itself holds goes; metadata that a running fetch is writing stays for
    // the entry it brings.
    const auto fetching = [](const std::string& name) {
        return std::any_of(metadataFetches.begin(), metadataFetches.end(),
                           [&name](const std::unique_ptr<MetadataFetch>& fetch) {
                               return NamesFileOf(name, fetch->change->id);
                           });
    };
    const std::filesystem::path cache = CacheDirectory();
    EmptyFolder(cache, [](const std::string& name) { return name != "index.json" && name != "queue.json"; });
    for (const char* folder : {"metadata", "download", "dlprogbuf"})
        EmptyFolder(cache / folder, fetching);
    FileSystem::CreateDirectoryIfNotExists(CacheDirectory() + "/metadata");
    FileSystem::CreateDirectoryIfNotExists(CacheDirectory() + "/download");
    FileSystem::CreateDirectoryIfNotExists(CacheDirectory() + "/dlprogbuf");

    unfinishedCache.clear();
    saveFileCache.clear();
    playlistsInWaiting.clear();
    return true;
}

void DownloadManager::DeletePartialFiles(const std::string& id)
{
    const std::filesystem::path cache = CacheDirectory();
    for (const char* folder : {"download", "dlprogbuf"})
        EmptyFolder(cache / folder, [&id](const std::string& name) { return !NamesFileOf(name, id); });
}

std::shared_ptr<PendingChange> DownloadManager::StartRemoval(std::string id)
{
    auto change = std::make_shared<PendingChange>();
    change->id = id;
    const auto hasId = [&id](const std::shared_ptr<DownloadEntry>& entry) { return entry->pelko_id == id; };

    const auto session = std::find_if(unfinishedCache.begin(), unfinishedCache.end(), hasId);
    if (session != unfinishedCache.end())
    {
        WorkerThread* worker = WorkerOf(session->get());
        unfinishedCache.erase(session);
        SaveQueue();
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
        saveFileCache.erase(indexed);
        Save();
    }
    DeletePartialFiles(id);
    FileSystem::Delete(CacheDirectory() + "/metadata/" + id + ".json");
    change->done = true;
    return change;
}

bool DownloadManager::RemoveFromCacheByID(std::string id)
{
    const std::shared_ptr<PendingChange> change = StartRemoval(std::move(id));
    if (change == nullptr)
        return false;
    while (!IsDone(*change))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return true;
}

ChangeRequest DownloadManager::CancelDownload(std::string id)
{
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
    DeletePartialFiles(id);
    FileSystem::Delete(CacheDirectory() + "/metadata/" + id + ".json");
    SaveQueue();
    log->stream << "Cancelled download " << id << " \"" << entry->title << "\".";
    log->Flush();
    change->done = true;
    return {change, ""};
}

ChangeRequest DownloadManager::RetryDownload(std::string id)
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

    auto change = std::make_shared<PendingChange>();
    change->id = id;
    if (entry->webpage_url.empty())
    {
        // Its details were never read: they are fetched again from the address the client gave.
        auto fetch = std::make_unique<MetadataFetch>();
        fetch->change = change;
        fetch->video = RequestOf(*entry, entry->video_url);
        fetch->retried = entry;
        metadataFetches.push_back(std::move(fetch));
        StartFetches();
        return {change, ""};
    }
    entry->Requeue();
    DeletePartialFiles(id);
    SaveQueue();
    change->done = true;
    return {change, ""};
}
