#include "downloader/DownloadManager.h"
#include <algorithm>
#include <chrono>
#include <exception>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "downloader/ExternalProgram.h"
#include "json/Json.h"
#include "logging/Logger.h"

using namespace Downloader;

std::mutex DownloadManager::entryStateMutex;
std::list<std::shared_ptr<DownloadEntry>> DownloadManager::unfinishedCache;
std::list<std::unique_ptr<DownloadManager::WorkerThread>> DownloadManager::downloadThreads;
Ostrel::JsonArray DownloadManager::saveFileCache;
std::list<DownloadEntry> DownloadManager::saveFileCache_Atomic;
time_t DownloadManager::lastProgressCheck = 0;
std::atomic<bool> DownloadManager::shouldSave = false;
bool DownloadManager::shouldClearCacheASAP = false;
std::string DownloadManager::downloaderProgram;
Logging::Logger* DownloadManager::log = nullptr;

namespace
{
    const std::string pelkoIdAlphabet = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    // In order of preference; yt-dlp is the maintained successor and takes the same options.
    const char* const downloaderProgramNames[] = {"youtube-dl", "yt-dlp"};
}

std::string DownloadManager::CacheDirectory()
{
    return XGConfig::downloader.cachedir;
}

void DownloadManager::PreInit()
{
    unfinishedCache.clear();
    downloadThreads.clear();
    saveFileCache.Clear();
    saveFileCache_Atomic.clear();
    lastProgressCheck = 0;
    shouldSave = false;
    shouldClearCacheASAP = false;

    log = new Logging::Logger("DownloadManager");

    FileSystem::CreateDirectoryIfNotExists(CacheDirectory());
    FileSystem::CreateDirectoryIfNotExists(CacheDirectory() + "/metadata");
    FileSystem::CreateDirectoryIfNotExists(CacheDirectory() + "/download");
    FileSystem::CreateDirectoryIfNotExists(CacheDirectory() + "/dlprogbuf");

    downloaderProgram.clear();
    for (const char* name : downloaderProgramNames)
    {
        downloaderProgram = ExternalProgram::FindOnSearchPath(name);
        if (!downloaderProgram.empty())
            break;
    }
    if (downloaderProgram.empty())
        log->stream << log->Err() << "Found neither youtube-dl nor yt-dlp on the search path! Every download will fail.";
    else
        log->stream << "Downloading with \"" << downloaderProgram << "\".";
    log->Flush();

    Load();
}

void DownloadManager::PostExit()
{
    delete log;
    log = nullptr;
}

std::string DownloadManager::QueueDownload(std::string url, DOWNLOAD_MODE mode)
{
    const std::string id = CreateNewPelkoID();
    FetchInformation(url, id);
    const std::string metadata = FileSystem::ReadFile(CacheDirectory() + "/metadata/" + id + ".json");

    auto entry = std::make_shared<DownloadEntry>();
    entry->pelko_id = id;
    entry->mode = mode;
    entry->download_progress = 0;
    entry->queued_timestamp = Clock::now();
    entry->download_url = "/download/" + id;

    WarnIfMissingDependenciesWIN();

    if (Ostrel::IsJsonValid(metadata))
    {
        entry->status = QUEUED;
        Ostrel::JsonData document;
        document.Parse(metadata);
        if (document.GetDataType() == Ostrel::JSON)
            entry->TakeMetadata(document.GetJsonData());
        else
            entry->status = FAILED;
    }
    else
    {
        entry->status = FAILED;
    }

    unfinishedCache.push_back(entry);
    return id;
}

void DownloadManager::FetchInformation(std::string url, std::string pelkoId)
{
    // "--" keeps an address that starts with a dash from being taken as an option.
    ExternalProgram::Run({downloaderProgram, "--skip-download", "--no-warnings", "--socket-timeout", "5", "--dump-json",
                          "--", url},
                         CacheDirectory() + "/metadata/" + pelkoId + ".json");
}

std::string DownloadManager::CreateNewPelkoID()
{
    for (uint64_t attempts = 0;; attempts++)
    {
        if (attempts > 100000000)
            throw std::exception();

        const std::string candidate =
            Ostrel::Internal::Helpers::Base10_2_X(static_cast<unsigned long long>(Clock::now()), pelkoIdAlphabet, 0);
        if (!DoesPelkoIDExist(candidate))
            return candidate;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool DownloadManager::DoesPelkoIDExist(std::string id)
{
    return std::any_of(unfinishedCache.begin(), unfinishedCache.end(),
                       [&id](const std::shared_ptr<DownloadEntry>& entry) { return entry->pelko_id == id; }) ||
           std::any_of(saveFileCache_Atomic.begin(), saveFileCache_Atomic.end(),
                       [&id](const DownloadEntry& entry) { return entry.pelko_id == id; });
}

DownloadEntry& DownloadManager::GetDownloadEntryByPelkoID(std::string id)
{
    for (const std::shared_ptr<DownloadEntry>& entry : unfinishedCache)
        if (entry->pelko_id == id)
            return *entry;
    for (DownloadEntry& entry : saveFileCache_Atomic)
        if (entry.pelko_id == id)
            return entry;
    throw std::exception();
}

int64_t DownloadManager::GetQueueLength()
{
    return std::count_if(unfinishedCache.begin(), unfinishedCache.end(),
                         [](const std::shared_ptr<DownloadEntry>& entry) { return entry->status == QUEUED; });
}

int64_t DownloadManager::GetNumActiveDownloads()
{
    return std::count_if(unfinishedCache.begin(), unfinishedCache.end(),
                         [](const std::shared_ptr<DownloadEntry>& entry) { return entry->status == DOWNLOADING; });
}

void DownloadManager::Load()
{
    const std::string path = CacheDirectory() + "/index.json";
    if (!FileSystem::Exists(path))
    {
        log->stream << "Did not load download cache, because \"" << path << "\" was not found.";
        log->Flush();
        return;
    }

    const std::string text = FileSystem::ReadFile(path);
    if (!Ostrel::IsJsonValid(text))
    {
        log->stream << log->Err() << "Unable to parse download cache index file! Invalid json!";
        log->Flush();
        return;
    }

    Ostrel::JsonData document;
    document.Parse(text);
    if (document.GetDataType() != Ostrel::ARRAY)
    {
        log->stream << log->Err() << "Unable to parse download cache index file! Not json-type array!";
        log->Flush();
        return;
    }

    saveFileCache.CloneFrom(document.GetArrayData());
    // Such elements cannot be listed or rebuilt; the next save leaves them out.
    const size_t skipped = saveFileCache.RemoveAllExceptType(Ostrel::JSON);
    if (skipped > 0)
    {
        log->stream << log->Err() << "Skipped " << skipped << " elements of the download cache index file \"" << path
                    << "\" that are not json objects!";
        log->Flush();
    }
    saveFileCache_Atomic = ParseJsonArrayToEntries(saveFileCache);
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
