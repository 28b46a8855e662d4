#include <algorithm>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "downloader/ExternalProgram.h"
#include "downloader/FailureReasons.h"
#include "json/Json.h"
#include "logging/Logger.h"

using namespace Downloader;

std::shared_ptr<PendingChange> DownloadManager::StartQueueDownload(std::string url, DOWNLOAD_MODE mode)
{
    auto fetch = std::make_unique<MetadataFetch>();
    fetch->change = std::make_shared<PendingChange>();
    fetch->change->id = CreateNewPelkoID();
    fetch->idSecond = lastReservedId;
    fetch->url = std::move(url);
    fetch->mode = mode;
    std::shared_ptr<PendingChange> change = fetch->change;
    metadataFetches.push_back(std::move(fetch));
    StartFetches();
    return change;
}

void DownloadManager::StartFetches()
{
    size_t running = static_cast<size_t>(std::count_if(
        metadataFetches.begin(), metadataFetches.end(),
        [](const std::unique_ptr<MetadataFetch>& fetch) { return fetch->started && !fetch->ended; }));
    for (const std::unique_ptr<MetadataFetch>& fetch : metadataFetches)
    {
        if (running >= maxFetches || stopping)
            return;
        if (fetch->started)
            continue;
        fetch->started = true;
        running++;
        WorkerSettings settings{downloaderProgram, CacheDirectory(), ""};
        fetch->thread = std::thread(RunFetch, fetch.get(), std::move(settings));
    }
}

void DownloadManager::RunFetch(MetadataFetch* fetch, WorkerSettings settings)
{
    const std::string& id = fetch->change->id;
    const std::string metadataPath = settings.cachedir + "/metadata/" + id + ".json";
    const std::string errorPath = settings.cachedir + "/dlprogbuf/" + id + ".metadata.err";
    // "--" keeps an address that starts with a dash from being taken as an option.
    const ExternalProgram::Outcome outcome =
        ExternalProgram::Run({settings.program, "--skip-download", "--no-warnings", "--socket-timeout", "5",
                              "--dump-json", "--", fetch->url},
                             metadataPath, errorPath, &fetch->stop);

    Ostrel::JsonData document;
    std::string text;
    if (outcome.started && FileSystem::Exists(metadataPath))
        text = FileSystem::ReadFile(metadataPath);
    if (Ostrel::IsJsonValid(text))
    {
        document.Parse(text);
        fetch->usable = document.GetDataType() == Ostrel::JSON;
        if (fetch->usable)
            fetch->metadata.TakeMetadata(document.GetJsonData());
    }
    if (!fetch->usable)
    {
        if (outcome.stopped)
            fetch->error = FailureReasons::shutDownDuringFetch;
        else if (settings.program.empty())
            fetch->error = FailureReasons::noProgram;
        else if (!outcome.started)
            fetch->error = FailureReasons::notStarted;
        else
        {
            fetch->error = FailureReasons::LastErrorLine(errorPath);
            if (fetch->error.empty())
                fetch->error = FailureReasons::unreadableDetails;
        }
    }
    fetch->ended.store(true);
}

void DownloadManager::CollectFetches()
{
    bool changed = false;
    // A new entry waits for every earlier new one, so that the list stays in id order.
    bool earlierPending = false;
    for (auto fetch = metadataFetches.begin(); fetch != metadataFetches.end();)
    {
        MetadataFetch& current = **fetch;
        const bool isNew = current.retried == nullptr;
        const bool ready = current.ended && (!isNew || (!earlierPending && Clock::now() >= current.idSecond));
        if (!ready)
        {
            earlierPending = earlierPending || isNew;
            ++fetch;
            continue;
        }
        if (current.thread.joinable())
            current.thread.join();
        CommitFetch(current);
        changed = true;
        fetch = metadataFetches.erase(fetch);
    }
    if (changed)
    {
        SaveQueue();
        StartFetches();
    }
}

void DownloadManager::CommitFetch(MetadataFetch& fetch)
{
    std::shared_ptr<DownloadEntry> entry = fetch.retried;
    if (entry == nullptr)
    {
        entry = std::make_shared<DownloadEntry>();
        entry->pelko_id = fetch.change->id;
        entry->mode = fetch.mode;
        entry->video_url = fetch.url;
        entry->queued_timestamp = fetch.idSecond;
        entry->download_url = "/download/" + entry->pelko_id;
        unfinishedCache.push_back(entry);
    }
    WarnIfMissingDependenciesWIN();

    if (fetch.usable)
    {
        entry->title = fetch.metadata.title;
        entry->description = fetch.metadata.description;
        entry->uploader = fetch.metadata.uploader;
        entry->duration = fetch.metadata.duration;
        entry->webpage_url = fetch.metadata.webpage_url;
        entry->thumbnail_url = fetch.metadata.thumbnail_url;
        entry->Requeue();
    }
    else
    {
        entry->Fail(fetch.error, 0);
        log->stream << log->Err() << "Download " << entry->pelko_id << " (" << entry->video_url
                    << ") failed: " << fetch.error;
        log->Flush();
    }
    fetch.change->Complete();
}

void DownloadManager::Collect()
{
    CollectFetches();
    CollectWorkers();
}

void DownloadManager::LoadQueue()
{
    const std::string path = CacheDirectory() + "/queue.json";
    if (!FileSystem::Exists(path))
        return;
    const std::string text = FileSystem::ReadFile(path);
    Ostrel::JsonData document;
    if (Ostrel::IsJsonValid(text))
        document.Parse(text);
    if (document.GetDataType() != Ostrel::ARRAY)
    {
        log->stream << log->Err() << "Unable to read the download queue \"" << path
                    << "\"! Its downloads are not restored.";
        log->Flush();
        return;
    }

    size_t restored = 0;
    const Ostrel::JsonArray& records = document.GetArrayData();
    for (size_t i = 0; i < records.Size(); i++)
    {
        if (records.At(i).GetDataType() != Ostrel::JSON)
            continue;
        auto entry = std::make_shared<DownloadEntry>(DownloadEntry::FromQueueRecord(records.At(i).GetJsonData()));
        // A download that finished just before the stop may be in both files; the index is written first.
        if (entry->pelko_id.empty() || DoesPelkoIDExist(entry->pelko_id))
            continue;
        entry->restored = true;
        // A restarted download begins anew; what an earlier run left of it goes.
        if (entry->status == QUEUED)
            DeletePartialFiles(entry->pelko_id);
        unfinishedCache.push_back(std::move(entry));
        restored++;
    }
    if (restored > 0)
    {
        log->stream << "Restored " << restored << " downloads of the last run.";
        log->Flush();
    }
}

void DownloadManager::SaveQueue()
{
    Ostrel::JsonArray records;
    for (const std::shared_ptr<DownloadEntry>& entry : unfinishedCache)
        if (entry->status != FINISHED)
            records.Add(entry->GetAsRecord());
    if (!FileSystem::WriteFile(CacheDirectory() + "/queue.json", Ostrel::JsonData(records).Render(false)))
    {
        log->stream << log->Err() << "Unable to save the download queue \"" << CacheDirectory() << "/queue.json\"!";
        log->Flush();
    }
}
