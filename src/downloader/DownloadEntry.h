#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>

namespace Ostrel
{
    class JsonBlock;
}

namespace Downloader
{
    enum DOWNLOAD_MODE : int32_t
    {
        VIDEO = 0,
        AUDIO = 1
    };

    enum DOWNLOAD_STATUS : int32_t
    {
        QUEUED = 0,
        DOWNLOADING = 1,
        FINISHED = 2,
        FAILED = 3
    };

    // One download from queuing until it leaves the cache. Its JSON form is both the
    // record of index.json and what the listing commands answer with.
    class DownloadEntry
    {
    public:
        DownloadEntry() = default;
        DownloadEntry(const DownloadEntry& other);
        DownloadEntry& operator=(const DownloadEntry& other);

        // The JSON form; "mode" and "status" are left out for values outside their enumerations.
        Ostrel::JsonBlock GetAsJson() const;

        // Rebuilds an entry of the cache index from its JSON form: always FINISHED with
        // progress 100; each member is taken only with its exact JSON type.
        static DownloadEntry FromIndexRecord(const Ostrel::JsonBlock& record);

        // Takes title, description, uploader, duration, webpage_url and the thumbnail from the
        // downloader program's metadata document; members missing or of another type are skipped.
        void TakeMetadata(const Ostrel::JsonBlock& metadata);

        std::string title;
        std::string description;
        std::string uploader;
        int32_t duration = -1;
        std::string pelko_id;
        std::string webpage_url;
        std::string thumbnail_url;
        // Set by the main thread when it starts the worker and never changed afterwards, so
        // any thread may read it.
        std::string downloaded_filename;
        std::string download_url;
        // Written by the entry's worker thread and read by the main thread: atomic. A writer
        // that must see and change both together holds DownloadManager::entryStateMutex.
        std::atomic<DOWNLOAD_STATUS> status = QUEUED;
        DOWNLOAD_MODE mode = AUDIO;
        std::atomic<int32_t> download_progress = 0;
        time_t queued_timestamp = 0;
    };
}
