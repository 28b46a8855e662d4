#include "downloader/DownloadManager.h"
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "app/Metrics.h"
#include "config/XGConfig.h"
#include "downloader/DownloaderVersions.h"
#include "downloader/FailureReasons.h"
#include "json/Json.h"
#include "logging/Logger.h"

using namespace Downloader;

std::list<std::shared_ptr<DownloadEntry>> DownloadManager::unfinishedCache;
std::vector<std::shared_ptr<DownloadEntry>> DownloadManager::saveFileCache;
std::unique_ptr<SaveThread> DownloadManager::saveThread;
std::list<std::unique_ptr<DownloadManager::WorkerThread>> DownloadManager::downloadThreads;
DownloadManager::FetchList DownloadManager::metadataFetches;
std::list<DownloadManager::PlaylistInWaiting> DownloadManager::playlistsInWaiting;
FairTurns DownloadManager::fetchTurns;
FairTurns DownloadManager::joinTurns;
uint64_t DownloadManager::fetchesMade = 0;
time_t DownloadManager::lastReservedId = 0;
size_t DownloadManager::borrowedFetchSlots = 0;
uint64_t DownloadManager::stateVersion = 0;
std::atomic<uint64_t> DownloadManager::progressVersion = 0;
time_t DownloadManager::startTime = 0;
bool DownloadManager::shouldClearCacheASAP = false;
bool DownloadManager::stopping = false;
FileLayout DownloadManager::files{""};
DownloaderProgramInfo DownloadManager::downloaderProgram;
std::function<FinishingStep()> DownloadManager::prepareFinishing;
Logging::Logger* DownloadManager::log = nullptr;
std::vector<DownloadManager::EventListener> DownloadManager::listeners;

namespace
{
    const std::string pelkoIdAlphabet = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

    std::string PelkoId(time_t second)
    {
        return Ostrel::Internal::Helpers::Base10_2_X(static_cast<unsigned long long>(second), pelkoIdAlphabet, 0);
    }
}

const FileLayout& DownloadManager::Files()
{
    return files;
}

void DownloadManager::PreInit(FileLayout layout)
{
    unfinishedCache.clear();
    saveFileCache.clear();
    downloadThreads.clear();
    metadataFetches.clear();
    playlistsInWaiting.clear();
    fetchTurns = {};
    joinTurns = {};
    listeners.clear();
    lastReservedId = 0;
    borrowedFetchSlots = 0;
    stateVersion++;
    startTime = Clock::now();
    shouldClearCacheASAP = false;
    stopping = false;
    // A changed cache directory applies from the next start: entries, workers and their files
    // all live in the one the server started with.
    files = std::move(layout);

    log = new Logging::Logger("DownloadManager");
    saveThread = std::make_unique<SaveThread>();
    DownloaderVersions::Reset();

    CreateCacheFolders();

    downloaderProgram = DownloaderProgram::Find();
    LogProgram();

    Load();
}

DownloaderProgramInfo DownloadManager::ProgramForNewRuns()
{
    // Looked up for every run, so that an updated own copy takes over from the next run on;
    // runs under way keep the program they started with.
    const DownloaderProgramInfo found = DownloaderProgram::Find();
    if (found.path != downloaderProgram.path)
    {
        downloaderProgram = found;
        LogProgram();
    }
    return found;
}

void DownloadManager::LogProgram()
{
    if (downloaderProgram.path.empty())
        log->stream << log->Err() << "Found neither youtube-dl nor yt-dlp on the search path! Every download will fail.";
    else
        log->stream << "Downloading with \"" << downloaderProgram.path << "\".";
    log->Flush();
}

void DownloadManager::SetFinishing(std::function<FinishingStep()> prepare)
{
    prepareFinishing = std::move(prepare);
}

void DownloadManager::PostExit()
{
    saveThread.reset();
    delete log;
    log = nullptr;
}

std::string DownloadManager::QueueDownload(VideoRequest video)
{
    const std::shared_ptr<PendingChange> change = StartQueueDownload(std::move(video));
    WaitUntilDone(*change);
    return change->id;
}

bool DownloadManager::IsDone(const PendingChange& change)
{
    return change.done;
}

void DownloadManager::WaitUntilDone(const PendingChange& change)
{
    for (Commit(); !change.done; Commit())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

std::string DownloadManager::CreateNewPelkoID()
{
    return ReserveSecond(FreeSecondFrom(std::max(Clock::now(), lastReservedId + 1)));
}

time_t DownloadManager::FreeSecondFrom(time_t second)
{
    while (DoesPelkoIDExist(PelkoId(second)))
        second++;
    return second;
}

std::string DownloadManager::ReserveSecond(time_t second)
{
    lastReservedId = second;
    return PelkoId(second);
}

void DownloadManager::AddEventListener(EventListener listener)
{
    listeners.push_back(std::move(listener));
}

void DownloadManager::Tell(DOWNLOAD_EVENT event, const DownloadEntry& entry)
{
    // A cancel during the metadata fetch is told as a failure, with the cancel's reason.
    if (event == DOWNLOAD_EVENT::CANCELLED ||
        (event == DOWNLOAD_EVENT::FAILED && entry.ErrorMessage() == FailureReasons::cancelled))
        Metrics::Count("pelko_downloads_total", {{"outcome", "cancelled"}});
    else if (event == DOWNLOAD_EVENT::FAILED)
        Metrics::Count("pelko_downloads_total", {{"outcome", "failed"}});
    else if (event == DOWNLOAD_EVENT::FINISHED)
        Metrics::Count("pelko_downloads_total", {{"outcome", "finished"}});
    for (const EventListener& listener : listeners)
        listener(event, entry);
}

bool DownloadManager::DoesPelkoIDExist(std::string id)
{
    const auto hasId = [&id](const std::shared_ptr<DownloadEntry>& entry) { return entry->pelko_id == id; };
    return std::any_of(unfinishedCache.begin(), unfinishedCache.end(), hasId) ||
           std::any_of(saveFileCache.begin(), saveFileCache.end(), hasId);
}

DownloadEntry& DownloadManager::GetDownloadEntryByPelkoID(std::string id)
{
    for (const std::shared_ptr<DownloadEntry>& entry : unfinishedCache)
        if (entry->pelko_id == id)
            return *entry;
    for (const std::shared_ptr<DownloadEntry>& entry : saveFileCache)
        if (entry->pelko_id == id)
            return *entry;
    throw std::out_of_range("No download has the id \"" + id + "\".");
}

int64_t DownloadManager::GetQueueLength()
{
    return std::count_if(unfinishedCache.begin(), unfinishedCache.end(),
                         [](const std::shared_ptr<DownloadEntry>& entry) { return entry->status == QUEUED; });
}

int64_t DownloadManager::GetNumActiveDownloads()
{
    return static_cast<int64_t>(downloadThreads.size());
}

void DownloadManager::Load()
{
    LoadIndex();
    LoadQueue();
}

void DownloadManager::LoadIndex()
{
    const std::string path = files.IndexFile();
    if (!FileSystem::Exists(path))
    {
        log->stream << "Did not load download cache, because \"" << path << "\" was not found.";
        log->Flush();
        return;
    }

    const std::string text = FileSystem::ReadFile(path);
    // Record by record: the history never exists as one tree.
    std::vector<std::shared_ptr<DownloadEntry>> entries;
    size_t skipped = 0;
    const Ostrel::JsonArray::ItemsRead read = Ostrel::JsonArray::TryParseItems(
        text,
        [&](Ostrel::JsonData& record) {
            if (record.GetDataType() == Ostrel::JSON)
                entries.push_back(std::make_shared<DownloadEntry>(DownloadEntry::FromIndexRecord(record.GetJsonData())));
            else
                skipped++;
        },
        [&] {
            entries.clear();
            skipped = 0;
        });
    if (read == Ostrel::JsonArray::ItemsRead::NOT_JSON)
    {
        log->stream << log->Err() << "Unable to parse download cache index file! Invalid json!";
        log->Flush();
        return;
    }
    if (read == Ostrel::JsonArray::ItemsRead::NOT_AN_ARRAY)
    {
        log->stream << log->Err() << "Unable to parse download cache index file! Not json-type array!";
        log->Flush();
        return;
    }
    // Such elements cannot be listed or rebuilt; the next save leaves them out.
    if (skipped > 0)
    {
        log->stream << log->Err() << "Skipped " << skipped << " elements of the download cache index file \"" << path
                    << "\" that are not json objects!";
        log->Flush();
    }
    saveFileCache = std::move(entries);
}

std::list<DownloadEntry> DownloadManager::ParseJsonArrayToEntries(const Ostrel::JsonArray& array)
{
    std::list<DownloadEntry> entries;
    for (size_t i = 0; i < array.Size(); i++)
    {
        const Ostrel::JsonData& element = array.At(i);
        if (element.GetDataType() == Ostrel::JSON)
            entries.push_back(DownloadEntry::FromIndexRecord(element.GetJsonData()));
    }
    return entries;
}

void DownloadManager::WarnIfMissingDependenciesWIN()
{
}
