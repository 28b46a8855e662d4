#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include "downloader/DownloadEntry.h"

namespace Logging
{
    class Logger;
}
namespace Ostrel
{
    class JsonArray;
}

namespace Downloader
{
    // The download queue and cache: queues downloads with their metadata, runs each in a
    // worker thread of its own, follows their progress and keeps finished ones in the
    // cache index (index.json in XGConfig::downloader.cachedir). Driven by the frame's
    // phases and the REST commands, all on the main thread.
    class DownloadManager
    {
    public:
        // Start-up, from a clean state: logger, cache directories, the downloader program, the
        // cache index. Must not run while workers do.
        static void PreInit();
        // One pass: saves after a finished download, starts at most one worker, refreshes
        // progress, runs a deferred cache clear.
        static void Update();
        // Shut-down: waits for every worker, saves, removes the progress buffers.
        static void OnExit();
        static void PostExit();

        // Fetches the metadata (blocking) and appends a QUEUED entry, or a FAILED one when
        // the metadata is unusable; returns its id. Throws when the metadata file cannot be read.
        static std::string QueueDownload(std::string url, DOWNLOAD_MODE mode);
        // Runs the downloader program's metadata dump for `url` into the cache's metadata file.
        static void FetchInformation(std::string url, std::string pelkoId);
        // The current time in base 62, waiting for the next second while the id is taken.
        static std::string CreateNewPelkoID();

        static bool DoesPelkoIDExist(std::string id);
        // The first entry with `id`, session first, then the index; throws std::exception when
        // there is none. The reference is valid until the entry is saved, removed or cleared.
        static DownloadEntry& GetDownloadEntryByPelkoID(std::string id);
        static int64_t GetQueueLength();         // session entries that are QUEUED
        static int64_t GetNumActiveDownloads();  // session entries that are DOWNLOADING

        static void Load();
        // Rebuilds index records; elements that are not JSON objects are skipped.
        static std::list<DownloadEntry> ParseJsonArrayToEntries(const Ostrel::JsonArray& array);
        static void WarnIfMissingDependenciesWIN();  // nothing to check on this platform

        // Starts a worker for the first QUEUED session entry, if there is one.
        static void DownloadNext();
        // Reads every DOWNLOADING entry's progress buffer file into its progress and status.
        static void UpdateDownloadProgressPercentages();

        // Joins the workers that have ended, moves finished entries into the index, writes it.
        // Never waits for a download that is still running.
        static void Save();
        // Session and index entries, newest first; only those at most `max_age` seconds old
        // (any age when negative), at most `max_num`. (-1, -1) returns everything.
        static Ostrel::JsonArray GetAlltimeCacheAsJson(int64_t max_age, uint64_t max_num);
        // Empties the whole cache now (true), or once no download is active (false).
        static bool ClearDownloadCache();
        // Removes the entry and, when finished, its file; false when no entry has the id.
        static bool RemoveFromCacheByID(std::string id);

        // Guards the check-and-change of a running entry's status and download_progress
        // between its worker and the progress reader.
        static std::mutex entryStateMutex;

    private:
        struct WorkerSettings
        {
            std::string program;
            std::string cachedir;
            std::string max_dlrate_per_thread;
        };
        // A worker thread with the entry it keeps alive; the record outlives the thread.
        struct WorkerThread
        {
            std::shared_ptr<DownloadEntry> entry;
            std::atomic<bool> ended = false;  // set by the worker when it is done with everything shared
            std::thread thread;
        };
        static void RunWorker(std::shared_ptr<DownloadEntry> entry, WorkerSettings settings, std::atomic<bool>* ended);
        static void SaveIndex(bool waitForRunningWorkers);
        static void JoinWorkers(bool waitForRunningWorkers);
        static bool HasUnjoinedWorker(const DownloadEntry* entry);
        static std::string CacheDirectory();

        // Shared pointers, so that an entry stays where it is while its worker runs, even
        // after it left the list.
        static std::list<std::shared_ptr<DownloadEntry>> unfinishedCache;
        static std::list<std::unique_ptr<WorkerThread>> downloadThreads;
        static Ostrel::JsonArray saveFileCache;
        static std::list<DownloadEntry> saveFileCache_Atomic;
        static time_t lastProgressCheck;
        static std::atomic<bool> shouldSave;  // set by workers, cleared by the main thread
        static bool shouldClearCacheASAP;
        static std::string downloaderProgram;
        static Logging::Logger* log;
    };
}
