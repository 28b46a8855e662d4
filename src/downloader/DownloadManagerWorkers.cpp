#include <algorithm>
#include <filesystem>
#include "app/FileSystem.h"
#include "app/Metrics.h"
#include "app/StopSignals.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "downloader/ExternalProgram.h"
#include "downloader/DownloaderVersions.h"
#include "downloader/FailureReasons.h"
#include "downloader/MetadataDocument.h"
#include "downloader/RunFiles.h"
#include "downloader/ProgressBuffer.h"
#include "logging/Logger.h"

using namespace Downloader;

void DownloadManager::Update()
{
    Commit();
    Advance();
}

void DownloadManager::Advance()
{
    TellProgress();
    QueuePlaylistVideos();
    StartFetches();

    if (!shouldClearCacheASAP && !stopping && XGConfig::downloader.num_threads > GetNumActiveDownloads())
        DownloadNext();

    if (shouldClearCacheASAP && GetNumActiveDownloads() == 0)
    {
        shouldClearCacheASAP = false;
        ClearDownloadCache();
    }
}

void DownloadManager::DownloadNext()
{
    const auto next = std::find_if(unfinishedCache.begin(), unfinishedCache.end(),
                                   [](const std::shared_ptr<DownloadEntry>& candidate) {
                                       return candidate->status == QUEUED;
                                   });
    if (next == unfinishedCache.end())
        return;
    const std::shared_ptr<DownloadEntry> entry = *next;
    entry->status = DOWNLOADING;

    // The worker gets its own copy: the settings may change while it runs.
    WorkerSettings settings{ProgramForNewRuns(), files, XGConfig::downloader.max_dlrate_per_thread,
                            prepareFinishing ? prepareFinishing() : nullptr, FileExtras::FromSettings()};
    // Named before the thread starts, so no thread ever writes it while others read it.
    entry->downloaded_filename =
        files.DownloadFile(entry->pelko_id, FormatChoice::Extension(entry->mode, entry->audio_format));

    log->stream << "Started download " << entry->pelko_id << " \"" << entry->title << "\".";
    log->Flush();

    auto worker = std::make_unique<WorkerThread>();
    worker->entry = entry;
    worker->startedAt = std::chrono::steady_clock::now();
    worker->thread = std::thread(RunWorker, entry, std::move(settings), worker.get());
    downloadThreads.push_back(std::move(worker));
    SaveQueue();
    Tell(DOWNLOAD_EVENT::STARTED, *entry);
}

void DownloadManager::TellProgress()
{
    for (const std::unique_ptr<WorkerThread>& worker : downloadThreads)
    {
        const uint64_t moves = worker->moves.load(std::memory_order_acquire);
        if (moves == worker->toldMoves || worker->removeWhenEnded)
            continue;
        worker->toldMoves = moves;
        Tell(DOWNLOAD_EVENT::PROGRESSED, *worker->entry);
    }
}

void DownloadManager::RunWorker(std::shared_ptr<DownloadEntry> entry, WorkerSettings settings, WorkerThread* control)
{
    const FileLayout::Scratch scratch = settings.files.RunScratch(entry->pelko_id);
    const MetadataDocument metadata =
        MetadataDocument::Read(settings.files.MetadataFile(entry->pelko_id), entry->playlist_index > 0);
    // The streams that the metadata fetch chose decide how they become an MP4.
    const ChosenStreams chosen = metadata.Chosen();

    ProgressBuffer progress(scratch.Progress());
    ProgressReport report;
    const auto follow = [&] {
        if (!progress.ReadNew(report))
            return;
        const bool moved = (report.percentage && *report.percentage != entry->download_progress) ||
                           report.bytesPerSecond != entry->download_speed || report.secondsLeft != entry->download_eta ||
                           report.totalBytes != entry->total_bytes || report.converting != entry->converting;
        if (!moved)
            return;
        if (report.percentage)
            entry->download_progress = *report.percentage;
        entry->download_speed = report.bytesPerSecond;
        entry->download_eta = report.secondsLeft;
        entry->total_bytes = report.totalBytes;
        entry->converting = report.converting;
        progressVersion.fetch_add(1, std::memory_order_release);
        control->moves.fetch_add(1, std::memory_order_release);
    };

    ExternalProgram::Outcome outcome;
    if (!settings.program.path.empty())
    {
        RunFiles runFiles(settings.program, scratch);
        outcome = ExternalProgram::Run(
            DownloaderCommand::Download(runFiles.program, RequestOf(*entry, entry->webpage_url), chosen,
                                        settings.extras, settings.max_dlrate_per_thread,
                                        settings.files.DownloadFileTemplate(entry->pelko_id), runFiles.cookies),
            scratch.Progress(), scratch.Errors(), &control->stop, follow);
    }
    follow();
    entry->download_speed = 0;
    entry->download_eta = -1;
    entry->converting = false;

    if (outcome.stopped && control->whenStopped == QUEUED)
        entry->Requeue();
    else if (outcome.stopped)
        entry->Fail(FailureReasons::cancelled, -1);
    else if (!outcome.started)
        entry->Fail(settings.program.path.empty() ? FailureReasons::noProgram : FailureReasons::notStarted, -1);
    else if (outcome.exitStatus == 0)
    {
        if (settings.finishing)
        {
            Placement placement = settings.finishing(*entry, metadata.document);
            entry->SetLibraryPath(std::move(placement.libraryPath));
            control->placementProblem = std::move(placement.problem);
        }
        entry->download_progress = 100;
        entry->status = FINISHED;
    }
    else
        entry->Fail(FailureReasons::OfExit(scratch.Errors(), outcome.exitStatus, outcome.signal), -1);

    progressVersion.fetch_add(1, std::memory_order_release);
    control->ended.store(true);
}

void DownloadManager::CollectWorkers()
{
    std::vector<std::unique_ptr<WorkerThread>> ended;
    for (auto worker = downloadThreads.begin(); worker != downloadThreads.end();)
    {
        if (!(*worker)->ended)
        {
            ++worker;
            continue;
        }
        (*worker)->thread.join();
        ended.push_back(std::move(*worker));
        worker = downloadThreads.erase(worker);
    }
    if (ended.empty())
        return;

    bool finished = false;
    bool awaited = false;
    for (const std::unique_ptr<WorkerThread>& worker : ended)
    {
        finished = TakeOutcome(*worker) || finished;
        awaited = awaited || !worker->waiting.empty();
    }
    // Nobody waits for a finished download's save; a removal or cancel is answered once saved.
    if (finished && !awaited)
        SaveInBackground();
    else
    {
        if (finished)
            Save();
        SaveQueue();
    }
    for (const std::unique_ptr<WorkerThread>& worker : ended)
        for (const std::shared_ptr<PendingChange>& change : worker->waiting)
            change->done = true;
}

bool DownloadManager::TakeOutcome(WorkerThread& worker)
{
    DownloadEntry& entry = *worker.entry;
    const auto inSession = std::find(unfinishedCache.begin(), unfinishedCache.end(), worker.entry);
    if (worker.removeWhenEnded || inSession == unfinishedCache.end())
    {
        DeleteFilesOf(entry.pelko_id);
        log->stream << "Stopped and removed download " << entry.pelko_id << ".";
        log->Flush();
        return false;
    }

    const DOWNLOAD_STATUS status = entry.status;
    if (status == FINISHED || (status == FAILED && entry.ErrorMessage() != FailureReasons::cancelled))
        Metrics::Observe("pelko_download_duration_seconds",
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - worker.startedAt).count());
    if (status == FINISHED)
    {
        std::error_code error;
        const auto bytes = std::filesystem::file_size(entry.downloaded_filename, error);
        if (!error)
            Metrics::Count("pelko_downloaded_bytes_total", {}, static_cast<double>(bytes));
        log->stream << "Finished download " << entry.pelko_id << " \"" << entry.title << "\".";
        log->Flush();
        if (!entry.LibraryPath().empty())
        {
            log->stream << "Placed download " << entry.pelko_id << " in the library as \"" << entry.LibraryPath() << "\".";
            log->Flush();
            if (!worker.placementProblem.empty())
                log->stream << log->Warn() << "Download " << entry.pelko_id
                            << " is in the library without all of the files beside it: " << worker.placementProblem;
        }
        else if (!worker.placementProblem.empty())
            log->stream << log->Warn() << "Download " << entry.pelko_id
                        << " is not in the library: " << worker.placementProblem;
        if (!worker.placementProblem.empty())
            log->Flush();
        unfinishedCache.erase(inSession);
        saveFileCache.push_back(worker.entry);
        Tell(DOWNLOAD_EVENT::FINISHED, entry);
        return true;
    }

    DeletePartialFiles(entry.pelko_id);
    if (status == QUEUED)
    {
        log->stream << "Stopped download " << entry.pelko_id << "; it starts again at the next start.";
        log->Flush();
    }
    else if (entry.ErrorMessage() == FailureReasons::cancelled)
    {
        FileSystem::Delete(files.MetadataFile(entry.pelko_id));
        log->stream << "Cancelled download " << entry.pelko_id << " \"" << entry.title << "\".";
        log->Flush();
        Tell(DOWNLOAD_EVENT::CANCELLED, entry);
    }
    else
    {
        log->stream << log->Err() << "Download " << entry.pelko_id << " (" << entry.video_url
                    << ") failed: " << entry.ErrorMessage();
        log->Flush();
        Tell(DOWNLOAD_EVENT::FAILED, entry);
    }
    return false;
}

DownloadManager::WorkerThread* DownloadManager::WorkerOf(const DownloadEntry* entry)
{
    for (const std::unique_ptr<WorkerThread>& worker : downloadThreads)
        if (worker->entry.get() == entry && !worker->removeWhenEnded)
            return worker.get();
    return nullptr;
}

void DownloadManager::Stop(WorkerThread& worker, DOWNLOAD_STATUS whenStopped)
{
    worker.whenStopped = whenStopped;
    worker.stop = true;
}

void DownloadManager::StopFetches()
{
    stopping = true;
    DownloaderVersions::Stop();
    for (const std::unique_ptr<MetadataFetch>& fetch : metadataFetches)
        fetch->stop = true;
}

void DownloadManager::StopDownloads()
{
    StopFetches();
    for (const std::unique_ptr<WorkerThread>& worker : downloadThreads)
        if (!worker->stop)
            Stop(*worker, QUEUED);
}

void DownloadManager::OnExit()
{
    if (!downloadThreads.empty() || !metadataFetches.empty())
    {
        log->stream << "Waiting for active download threads to finish before saving...";
        log->Flush();
        StopFetches();
        // Fetches that never started have nothing to wait for.
        for (const std::unique_ptr<MetadataFetch>& fetch : metadataFetches)
            if (!fetch->started)
            {
                fetch->error = FailureReasons::shutDownDuringFetch;
                fetch->ended = true;
            }
        while (!downloadThreads.empty() || !metadataFetches.empty())
        {
            if (StopSignals::Received())
                StopDownloads();
            Commit();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        WaitForSaves();
        log->stream << "All threads have finished. Now saving...";
        log->Flush();
    }
    DownloaderVersions::Stop();
    FailPlaylistVideosInWaiting();
    Save();
    SaveQueue();

    if (FileSystem::ExistsDirectory(files.ProgressFolder()))
        FileSystem::DeleteDirectory(files.ProgressFolder());
}
