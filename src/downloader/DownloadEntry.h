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

    // One download from queuing until it leaves the cache. Its record (GetAsRecord) is what
    // index.json and queue.json hold; its JSON form (GetAsJson) adds the progress of a running
    // download and is what the listing commands answer with.
    //
    // Threads: while a worker runs the entry's download, the worker is the only writer of
    // `status`, `download_progress`, the progress details and `error_message`; before and after
    // that, only the main thread writes them.
    class DownloadEntry
    {
    public:
        DownloadEntry() = default;
        DownloadEntry(const DownloadEntry& other);
        DownloadEntry& operator=(const DownloadEntry& other);

        // What files keep of the entry; "mode" and "status" are left out for values outside
        // their enumerations.
        Ostrel::JsonBlock GetAsRecord() const;
        // The record plus "download_speed", "download_eta", "total_bytes", "stage" and "restored".
        Ostrel::JsonBlock GetAsJson() const;

        // The indented rendering of GetAsRecord or GetAsJson at `depth`, appended to `out`. A
        // finished entry no longer changes, so it keeps the text for the next time. Records are
        // rendered by the save thread only (index.json), JSON forms by the main thread only.
        void AppendRecordTo(std::string& out, unsigned int depth) const;
        void AppendJsonTo(std::string& out, unsigned int depth) const;

        // Rebuilds an entry of the cache index from its record: always FINISHED with progress
        // 100; each member is taken only with its exact JSON type.
        static DownloadEntry FromIndexRecord(const Ostrel::JsonBlock& record);
        // Rebuilds an entry of queue.json, status, progress and error included.
        static DownloadEntry FromQueueRecord(const Ostrel::JsonBlock& record);

        // Takes title, description, uploader, duration, webpage_url and the thumbnail from the
        // downloader program's metadata document; members missing or of another type are skipped.
        void TakeMetadata(const Ostrel::JsonBlock& metadata);

        // "queued", "downloading", "converting", "finished" or "failed".
        std::string Stage() const;

        // Marks the entry failed with `message`; only for the thread that may write the result.
        void Fail(const std::string& message, int32_t progress);

        // The error of a failed entry; empty for any other.
        std::string ErrorMessage() const;

        // Where the finished file went in the library, relative to its folder; empty for none or
        // while the entry is not finished.
        std::string LibraryPath() const;
        // Only for the thread that may write the result, before the entry turns FINISHED.
        void SetLibraryPath(std::string path);

        // Back to QUEUED with no progress and no error, to run (again) from the beginning;
        // only while no worker runs it.
        void Requeue();

        std::string title;
        std::string description;
        std::string uploader;
        int32_t duration = -1;
        std::string pelko_id;
        std::string webpage_url;
        std::string video_url;  // the address the client gave
        std::string thumbnail_url;
        // Set by the main thread before the worker starts and never changed while it runs.
        std::string downloaded_filename;
        std::string download_url;
        std::atomic<DOWNLOAD_STATUS> status = QUEUED;
        DOWNLOAD_MODE mode = AUDIO;
        std::atomic<int32_t> download_progress = 0;
        time_t queued_timestamp = 0;
        // Video only: "best" or the highest number of lines wanted (FormatChoice::Qualities).
        std::string quality = "best";
        // Audio only: the finished file's format and extension (FormatChoice::AudioFormats).
        std::string audio_format = "mp3";
        // 0, or the video's place (from 1) on the playlist at video_url: a playlist whose videos
        // have no addresses of their own is reached that way, for the metadata and the download.
        int32_t playlist_index = 0;
        // The subscription that queued the download; both empty for one a client queued.
        std::string subscription_id;
        std::string subscription_name;

        // While a download runs; read by the main thread at any time.
        std::atomic<int64_t> download_speed = 0;  // bytes per second, 0 while unknown
        std::atomic<int64_t> download_eta = -1;   // seconds left, -1 while unknown
        std::atomic<int64_t> total_bytes = 0;     // 0 while unknown
        std::atomic<bool> converting = false;

        // The finished file's size in bytes, read once when a query sorts by size; -1 until
        // then, and -2 when there is no file. Main thread only.
        int64_t file_size = -1;

        // Came back from queue.json at this start. Main thread only.
        bool restored = false;

    private:
        // The record's members, with the five progress members when `withProgress`.
        Ostrel::JsonBlock Members(bool withProgress) const;
        // A rendering of a finished entry, and the depth it was made for.
        struct KeptText
        {
            std::string text;
            unsigned int depth = 0;
        };
        template <typename Form>
        void AppendKept(KeptText& kept, Form form, std::string& out, unsigned int depth) const;
        // Written by the one thread that renders each form: the save thread and the main thread.
        // A copy starts without them.
        mutable KeptText keptRecord;
        mutable KeptText keptJson;

        // Written before `status` turns FAILED and read only by those who saw FAILED, so a
        // reader never meets it half written.
        std::string error_message;
        // Written and read as error_message is, FINISHED for FAILED.
        std::string library_path;
    };
}
