#include <algorithm>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "json/Json.h"
#include "logging/Logger.h"

using namespace Downloader;

void DownloadManager::Save()
{
    SaveIndex(false);
}

void DownloadManager::SaveIndex(bool waitForRunningWorkers)
{
    log->stream << "Saving...";
    log->Flush();

    // Cleared before the workers are looked at: one that ends from now on sets it again,
    // and the next pass saves its entry.
    shouldSave = false;
    JoinWorkers(waitForRunningWorkers);

    // Only entries whose worker has been joined: one that the progress reader marked
    // finished may still fail, and then it must not be in the index.
    for (auto entry = unfinishedCache.end(); entry != unfinishedCache.begin();)
    {
        --entry;
        if ((*entry)->status == FINISHED && !HasUnjoinedWorker(entry->get()))
        {
            saveFileCache.Add((*entry)->GetAsJson());
            entry = unfinishedCache.erase(entry);
        }
    }

    if (!FileSystem::WriteFile(CacheDirectory() + "/index.json", saveFileCache.Render(0, false)))
    {
        log->stream << log->Err() << "Unable to save download cache index file!";
        log->Flush();
    }
    saveFileCache_Atomic = ParseJsonArrayToEntries(saveFileCache);

    log->stream << "Saved!";
    log->Flush();
}

Ostrel::JsonArray DownloadManager::GetAlltimeCacheAsJson(int64_t max_age, uint64_t max_num)
{
    Ostrel::JsonArray all;
    for (const std::shared_ptr<DownloadEntry>& entry : unfinishedCache)
        all.Add(entry->GetAsJson());
    all.Merge(saveFileCache);
    all.Sort("queued_timestamp", Ostrel::NUMERICAL_DESCENDING, ".");

    if (max_age == -1 && max_num == static_cast<uint64_t>(-1))
        return all;

    const time_t now = Clock::now();
    Ostrel::JsonArray result;
    for (size_t i = 0; i < all.Size() && result.Size() < max_num; i++)
    {
        const Ostrel::JsonData& item = all.At(i);
        if (max_age < 0)
            result.Add(item);
        else if (item.GetDataType() == Ostrel::JSON &&
                 XGConfig::IsJsonFieldValid(item.GetJsonData(), "queued_timestamp", Ostrel::INT) &&
                 now - item.GetJsonData().Get("queued_timestamp").GetIntData() <= max_age)
            result.Add(item);
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

    if (FileSystem::ExistsDirectory(CacheDirectory()))
        FileSystem::DeleteDirectory(CacheDirectory());
    FileSystem::CreateDirectoryIfNotExists(CacheDirectory() + "/metadata");
    FileSystem::CreateDirectoryIfNotExists(CacheDirectory() + "/download");
    FileSystem::CreateDirectoryIfNotExists(CacheDirectory() + "/dlprogbuf");

    // Entries whose worker still runs stay alive with it; its result is ignored.
    unfinishedCache.clear();
    saveFileCache.Clear();
    saveFileCache_Atomic.clear();
    return true;
}

bool DownloadManager::RemoveFromCacheByID(std::string id)
{
    bool found = false;
    std::string filename;
    bool finished = false;

    const auto session = std::find_if(unfinishedCache.begin(), unfinishedCache.end(),
                                      [&id](const std::shared_ptr<DownloadEntry>& entry) { return entry->pelko_id == id; });
    if (session != unfinishedCache.end())
    {
        found = true;
        filename = (*session)->downloaded_filename;
        finished = (*session)->status == FINISHED;
        unfinishedCache.erase(session);
    }

    for (size_t i = 0; i < saveFileCache.Size(); i++)
    {
        const Ostrel::JsonData& record = saveFileCache.At(i);
        if (record.GetDataType() == Ostrel::JSON &&
            XGConfig::IsJsonFieldValid(record.GetJsonData(), "pelko_id", Ostrel::STRING) &&
            record.GetJsonData().Get("pelko_id").GetStringData() == id)
        {
            saveFileCache.RemoveAt(i);
            found = true;
            break;
        }
    }

    const auto indexed = std::find_if(saveFileCache_Atomic.begin(), saveFileCache_Atomic.end(),
                                      [&id](const DownloadEntry& entry) { return entry.pelko_id == id; });
    if (indexed != saveFileCache_Atomic.end())
    {
        found = true;
        filename = indexed->downloaded_filename;
        finished = indexed->status == FINISHED;
        saveFileCache_Atomic.erase(indexed);
    }

    if (finished && FileSystem::Exists(filename))
        FileSystem::Delete(filename);

    // A save no longer waits for running downloads, so the index follows at once.
    Save();
    return found;
}
