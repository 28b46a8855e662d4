#include <algorithm>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "downloader/ExternalProgram.h"
#include "downloader/ProgressBuffer.h"
#include "logging/Logger.h"

using namespace Downloader;

void DownloadManager::Update()
{
    if (shouldSave)
        Save();

    const int64_t active = GetNumActiveDownloads();
    if (XGConfig::downloader.num_threads > active)
        DownloadNext();

    if (Clock::now() - lastProgressCheck > 2 && active != 0)
        UpdateDownloadProgressPercentages();

    if (shouldClearCacheASAP && active == 0)
    {
        shouldClearCacheASAP = false;
        ClearDownloadCache();
    }
}

void DownloadManager::DownloadNext()
{
    if (GetQueueLength() == 0)
        return;

    const std::shared_ptr<DownloadEntry> entry = *std::find_if(
        unfinishedCache.begin(), unfinishedCache.end(),
        [](const std::shared_ptr<DownloadEntry>& candidate) { return candidate->status == QUEUED; });
    entry->status = DOWNLOADING;

    // The worker gets its own copy: the settings may change while it runs.
    WorkerSettings settings{downloaderProgram, CacheDirectory(), XGConfig::downloader.max_dlrate_per_thread};
    // Named before the thread starts, so no thread ever writes it while others read it.
    entry->downloaded_filename =
        settings.cachedir + "/download/" + entry->pelko_id + (entry->mode == VIDEO ? ".mp4" : ".mp3");

    auto worker = std::make_unique<WorkerThread>();
    worker->entry = entry;
    worker->thread = std::thread(RunWorker, entry, std::move(settings), &worker->ended);
    downloadThreads.push_back(std::move(worker));
}

void DownloadManager::RunWorker(std::shared_ptr<DownloadEntry> entry, WorkerSettings settings, std::atomic<bool>* ended)
{
    std::vector<std::string> arguments = {settings.program, "--newline",      "--no-call-home",
                                          "--no-playlist",  "--no-part",      "--no-warnings",
                                          "--socket-timeout", "5",            "--limit-rate",
                                          settings.max_dlrate_per_thread, "--no-mtime", "--no-cache-dir"};
    if (entry->mode == VIDEO)
        arguments.insert(arguments.end(), {"--recode-video", "mp4", "--prefer-ffmpeg"});
    else
        arguments.insert(arguments.end(), {"--audio-format", "mp3", "--audio-quality", "0", "--extract-audio"});
    // "--" keeps an address that starts with a dash from being taken as an option.
    arguments.insert(arguments.end(),
                     {"-o", settings.cachedir + "/download/" + entry->pelko_id + ".%(ext)s", "--", entry->webpage_url});

    const bool succeeded =
        ExternalProgram::Run(arguments, settings.cachedir + "/dlprogbuf/" + entry->pelko_id + ".buf") == 0;
    {
        std::lock_guard<std::mutex> lock(entryStateMutex);
        entry->download_progress = succeeded ? 100 : -1;
        entry->status = succeeded ? FINISHED : FAILED;
    }

    // Marked ended before asking for the save: a save that joins this worker moves its entry,
    // and one that does not is followed by another.
    ended->store(true);
    if (succeeded)
        shouldSave = true;
}

void DownloadManager::UpdateDownloadProgressPercentages()
{
    for (const std::shared_ptr<DownloadEntry>& entry : unfinishedCache)
    {
        if (entry->status != DOWNLOADING)
            continue;
        const std::optional<ProgressReport> report =
            ProgressBuffer::Read(CacheDirectory() + "/dlprogbuf/" + entry->pelko_id + ".buf");
        if (!report)
            continue;

        std::lock_guard<std::mutex> lock(entryStateMutex);
        // The worker may have ended while the file was read; its result is final.
        if (entry->status != DOWNLOADING)
            continue;
        if (report->percentage)
            entry->download_progress = *report->percentage;
        if (report->postProcessingEnded)
            entry->status = FINISHED;
    }
    lastProgressCheck = Clock::now();
}

void DownloadManager::OnExit()
{
    SaveIndex(true);

    const std::string buffers = CacheDirectory() + "/dlprogbuf";
    if (FileSystem::ExistsDirectory(buffers))
        FileSystem::DeleteDirectory(buffers);
}

void DownloadManager::JoinWorkers(bool waitForRunningWorkers)
{
    const bool waits = waitForRunningWorkers &&
                       std::any_of(downloadThreads.begin(), downloadThreads.end(),
                                   [](const std::unique_ptr<WorkerThread>& worker) { return !worker->ended; });
    if (waits)
    {
        log->stream << "Waiting for active download threads to finish before saving...";
        log->Flush();
    }

    for (auto worker = downloadThreads.begin(); worker != downloadThreads.end();)
    {
        if (waitForRunningWorkers || (*worker)->ended)
        {
            (*worker)->thread.join();
            worker = downloadThreads.erase(worker);
        }
        else
        {
            ++worker;
        }
    }

    if (waits)
    {
        log->stream << "All threads have finished. Now saving...";
        log->Flush();
    }
}

bool DownloadManager::HasUnjoinedWorker(const DownloadEntry* entry)
{
    return std::any_of(downloadThreads.begin(), downloadThreads.end(),
                       [entry](const std::unique_ptr<WorkerThread>& worker) { return worker->entry.get() == entry; });
}
