#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include "app/FileLayout.h"
#include "downloader/DownloadEntry.h"
#include "downloader/DownloaderCommand.h"
#include "downloader/DownloaderProgram.h"
#include "downloader/FairTurns.h"
#include "downloader/HistoryQuery.h"
#include "downloader/SaveThread.h"

namespace Logging
{
    class Logger;
}
namespace Ostrel
{
    class JsonArray;
    class JsonBlock;
}

namespace Downloader
{
    // A change that the download manager completes later, on the main thread, once work off it
    // has ended: a metadata fetch, or a program that has to stop first. DownloadManager::Commit
    // completes it; until then, and after, it is only read.
    struct PendingChange
    {
        // The pelko id of the entry it concerns (of a playlist: its first video); of a new video,
        // given the moment it joins the list.
        std::string id;
        bool done = false;  // main thread only
        // The entry went (a removal, a clear) before the change could be made.
        bool removed = false;
        // A queued playlist, once done: how many of its videos are queued, or why none is.
        size_t playlistSize = 0;
        std::string playlistError;
        // A video whose details were fetched (again), once done: its error when they were
        // unusable and it failed; empty when it joined the queue.
        std::string failure;
    };

    // A change that was either refused (`refusal` says why) or begun (`change`).
    struct ChangeRequest
    {
        std::shared_ptr<PendingChange> change;
        std::string refusal;
    };

    // Who asked for a download besides a client: the subscription that queued it.
    struct QueuedBy
    {
        std::string subscriptionId;  // empty: a client
        std::string subscriptionName;
    };

    // What became of a download, as the manager tells its listeners.
    enum class DOWNLOAD_EVENT
    {
        QUEUED,      // its metadata was read (again): it waits for its turn
        FINISHED,    // its file is in the cache
        FAILED,      // it cannot be done (a cancel is no failure)
        STARTED,     // its program runs
        PROGRESSED,  // while it runs: its progress, speed, time left or stage moved
        CANCELLED,   // a client stopped it: it stays listed as failed with "Cancelled."
        REMOVED,     // it left the session and the cache (a removal, a clear)
    };
    // What became of a finished download's file outside the cache.
    struct Placement
    {
        std::string libraryPath;  // the entry's library_path; empty for none
        // Why the file could not be placed, or, with libraryPath, what beside it was not
        // written; empty when nothing failed.
        std::string problem;
    };
    // Done with a download's file once the program has written it and before the entry counts as
    // finished, on the download's own thread: the entry and the video's metadata document.
    using FinishingStep = std::function<Placement(const DownloadEntry& entry, const Ostrel::JsonBlock& metadata)>;

    // The download queue and cache: queues downloads with their metadata, runs each in a
    // worker thread of its own, and keeps finished ones in the cache index (index.json in the
    // cache directory) and the others of the session in queue.json, so that they survive a
    // restart. Driven by the frame's phases and the REST commands, all on the main thread; only
    // metadata fetches and downloads run on threads of their own.
    class DownloadManager
    {
    public:
        // Metadata fetches that may run at the same time; whoever asks runs at most one fewer, so
        // that someone else's fetch can always start.
        static constexpr size_t maxFetches = 4;

        // Start-up, from a clean state: logger, the cache's folders (those of `files`, kept until
        // the next start), the downloader program, the cache index, the queue.
        // Must not run while workers do.
        static void PreInit(FileLayout files);
        // One pass: Commit, then Advance. The main loop calls the two itself, answering the
        // requests held for changes in between, so that their replies show the state the commit
        // left.
        static void Update();
        // Takes in what ended off the main thread: fetched details join the list (or fail their
        // entries), ended programs' outcomes are filed and saved, the save thread's report is
        // logged; the changes that waited for them are done.
        static void Commit();
        // Starts what is due: progress events, the next playlist video, waiting metadata fetches
        // and at most one download, a deferred cache clear.
        static void Advance();
        // Shut-down: waits for every metadata fetch and download (stopped ones end within
        // seconds; a stop signal stops the downloads it waits for), saves, removes the progress
        // buffers.
        static void OnExit();
        static void PostExit();

        // Fetches the metadata on a thread of its own; once it has ended, the entry joins the end
        // of the session list, QUEUED, or FAILED with the reason when the metadata is unusable.
        // Fairness: fetches wait for a free place (at most maxFetches at once) and the fetched
        // entries for their ids, and in both those who ask (`requester`: a client's address, or
        // any name of someone else who queues) take turns, each one's requests in the order asked.
        // The id is given as the entry joins: the first second from the queuing on that is no
        // entry's id, not reserved, and reached by the clock; so one a second joins in a burst.
        // The request's quality applies to the VIDEO mode, its audio format to AUDIO; the entry
        // carries `by` as its "subscription_id" and "subscription_name".
        static std::shared_ptr<PendingChange> StartQueueDownload(VideoRequest video, QueuedBy by = {},
                                                                 std::string requester = "");
        // StartQueueDownload, waiting for the entry; returns its id.
        static std::string QueueDownload(VideoRequest video);
        // Reserves the next free id and lists the playlist at `playlist.url` (at most `maxItems`
        // videos) off the main thread; the change completes with the number of its videos, or the
        // reason why it could not be read. Its videos are then queued as StartQueueDownload would,
        // each asked for as `playlist` asks, by the same `requester`, the first under the change's
        // id, the others only in seconds that no other queuing wants; no one waits for them. An
        // address that is one video is a playlist of one.
        static std::shared_ptr<PendingChange> StartQueuePlaylist(VideoRequest playlist, int32_t maxItems,
                                                                 std::string requester = "");
        // A metadata-fetch slot for a listing that runs elsewhere (a subscription's), granted only
        // while no fetch waits and at least one more slot stays free for a client's queuing.
        // Every granted slot is given back with ReturnFetchSlot.
        static bool BorrowFetchSlot();
        static void ReturnFetchSlot();
        // The files of the cache in use: as downloader.cachedir named it at the last start.
        static const FileLayout& Files();
        // What a run of the downloader started off the main thread needs from now: the program
        // and its scratch files in the cache's progress folder, named `name`.
        struct RunSettings
        {
            DownloaderProgramInfo program;
            FileLayout::Scratch scratch;
        };
        static RunSettings SettingsForRun(const std::string& name);

        // Whether `change` is complete (Commit completes changes); only looks.
        static bool IsDone(const PendingChange& change);

        // Called on the main thread the moment something of a DOWNLOAD_EVENT happens to a listed
        // download, with the entry as it is then; PROGRESSED at most once per pass and download.
        // Listeners stay until the next PreInit.
        using EventListener = std::function<void(DOWNLOAD_EVENT event, const DownloadEntry& entry)>;
        static void AddEventListener(EventListener listener);
        // `prepare` is called on the main thread as each download starts, so that the step it
        // gives (null for none) takes the settings of that moment.
        static void SetFinishing(std::function<FinishingStep()> prepare);

        // The first second from now on that is no entry's id and not reserved, in base 62.
        static std::string CreateNewPelkoID();

        static bool DoesPelkoIDExist(std::string id);
        // The first entry with `id`, session first, then the index; throws std::out_of_range when
        // there is none. The reference is valid until the entry is removed or cleared.
        static DownloadEntry& GetDownloadEntryByPelkoID(std::string id);
        static int64_t GetQueueLength();         // session entries that are QUEUED
        static int64_t GetNumActiveDownloads();  // downloads whose program has not yet ended

        // Reads index.json, then queue.json.
        static void Load();
        // Rebuilds index records; elements that are not JSON objects are skipped.
        static std::list<DownloadEntry> ParseJsonArrayToEntries(const Ostrel::JsonArray& array);
        static void WarnIfMissingDependenciesWIN();  // nothing to check on this platform

        // Starts a worker for the first QUEUED session entry, if there is one.
        static void DownloadNext();

        // Writes index.json from the index (after any save still running) and waits for it.
        static void Save();
        // Session and index entries, newest first; only those at most `max_age` seconds old
        // (any age when negative; an entry restored at this start counts as queued then), at
        // most `max_num`. (-1, -1) returns everything.
        static Ostrel::JsonArray GetAlltimeCacheAsJson(int64_t max_age, uint64_t max_num);
        // The entries of GetAlltimeCacheAsJson, in its order, for a caller that renders them one
        // at a time; they stay alive while the caller holds them.
        using Listing = std::vector<std::shared_ptr<const DownloadEntry>>;
        static Listing SelectListing(int64_t max_age, uint64_t max_num);
        // Changes whenever anything that a listing shows may have changed; equal numbers (read
        // before a listing is made) mean equal listings for equal arguments in the same second.
        static uint64_t ListingVersion();
        // The page of matching entries in the query's order; a few milliseconds for years of history.
        static HistoryPage QueryHistory(const HistoryQuery& query);
        // Empties the whole cache now (true), or once no download's program runs (false); until
        // then no download starts.
        static bool ClearDownloadCache();

        // Removes the entry and its files; a running download is stopped first, with every
        // process it started. Null when no entry has the id.
        // An entry whose details are still being fetched is found by its id as well: it never
        // joins, and the change completes once the fetch has ended and its files are gone.
        static std::shared_ptr<PendingChange> StartRemoval(std::string id);
        // StartRemoval for each id in turn, each file written once for all of them.
        static std::vector<std::shared_ptr<PendingChange>> StartRemovals(const std::vector<std::string>& ids);
        // StartRemoval of what StartQueueDownload began with `queued`: before its entry has
        // joined (and so has an id), its fetch, whose entry then never joins. Null when it is gone.
        static std::shared_ptr<PendingChange> StartRemoval(const PendingChange& queued);
        // StartRemoval, waiting for it; false when no entry has the id.
        static bool RemoveFromCacheByID(std::string id);
        // Stops a queued or running download and keeps it listed as failed with "Cancelled.";
        // one whose details are being fetched joins so once the fetch has ended.
        static ChangeRequest CancelDownload(std::string id);
        // Queues a failed session entry again, fetching its metadata again when it was never read
        // (in the turn of `requester`, as StartQueueDownload).
        static ChangeRequest RetryDownload(std::string id, std::string requester = "");
        // RetryDownload for each id in turn, the queue written once for all of them.
        static std::vector<ChangeRequest> RetryDownloads(const std::vector<std::string>& ids,
                                                         const std::string& requester = "");

        // For the shut-down: metadata fetches and the lookup of the program's version stop
        // (their entries fail, saying why) and no fetch or download starts any more.
        static void StopFetches();
        // For a shut-down by signal: running downloads stop as well and go back to the queue,
        // so that they run again at the next start.
        static void StopDownloads();

    private:
        struct WorkerSettings
        {
            DownloaderProgramInfo program;
            FileLayout files;
            std::string max_dlrate_per_thread;
            FinishingStep finishing;
            FileExtras extras;
        };
        // A worker thread with the entry it keeps alive; the record outlives the thread.
        struct WorkerThread
        {
            std::shared_ptr<DownloadEntry> entry;
            // What the worker makes of its entry when stopped: QUEUED (shut-down) or FAILED
            // (cancel, removal). Written before `stop` is set.
            std::atomic<DOWNLOAD_STATUS> whenStopped = FAILED;
            std::atomic<bool> stop = false;   // set by the main thread, read by the worker
            std::atomic<bool> ended = false;  // set by the worker when it is done with everything shared
            // Bumped by the worker whenever the entry's progress moved; `toldMoves` is what the
            // main thread last told its listeners of.
            std::atomic<uint64_t> moves = 0;
            uint64_t toldMoves = 0;                           // main thread only
            std::chrono::steady_clock::time_point startedAt;  // main thread only
            bool removeWhenEnded = false;     // main thread only
            std::string placementProblem;     // written by the worker before `ended`
            std::vector<std::shared_ptr<PendingChange>> waiting;  // main thread only; done once it ended
            std::thread thread;
        };
        // One metadata run, for a new entry or for a failed one that is retried, or the listing
        // of a playlist, which then becomes the run for its first video.
        struct MetadataFetch
        {
            std::shared_ptr<PendingChange> change;
            VideoRequest video;
            QueuedBy by;
            std::string requester;
            bool playlistVideo = false;  // a playlist's later video: it goes when no one else's queuing waits
            time_t askedAt = 0;
            // Its files while it runs: those of its id, or of a name of its own until a new
            // video's id is given.
            std::string name;
            int32_t playlistLimit = 0;  // a listing of at most that many videos; 0 for a video
            time_t idSecond = 0;        // 0 while a new video has no id
            std::shared_ptr<DownloadEntry> retried;  // null for a new entry
            bool started = false;                    // main thread only
            // What a cancel or a removal made of it while it ran (main thread only): its entry
            // joins as cancelled, or never joins and its files go once it has ended.
            enum Withdrawal { KEPT, CANCELLED, REMOVED } withdrawal = KEPT;
            // Main thread only; done once the fetch is collected.
            std::vector<std::shared_ptr<PendingChange>> waiting;
            std::atomic<bool> stop = false;
            std::atomic<bool> ended = false;
            // Written by the fetch thread before `ended`, read by the main thread after it.
            DownloadEntry metadata;
            bool usable = false;
            double seconds = 0;  // how long the downloader program took
            std::vector<VideoRequest> playlistVideos;
            std::string error;
            std::thread thread;
        };


        static void RunWorker(std::shared_ptr<DownloadEntry> entry, WorkerSettings settings, WorkerThread* control);
        static void RunFetch(MetadataFetch* fetch, WorkerSettings settings);
        // A fetch asked for now; with an empty `id`, a new video's, whose id is given as it joins.
        static std::unique_ptr<MetadataFetch> NewFetch(VideoRequest video, std::string requester, std::string id);
        static std::shared_ptr<PendingChange> BeginFetch(std::unique_ptr<MetadataFetch> fetch);
        static void StartFetches();
        // Of the fetches that are `inLine`, the first of each one who asks (a playlist's videos
        // apart from the rest), if `ready`; of those the one whose turn it is by `turns`, a
        // playlist's videos only while no other fetch is in line. The list's end for none.
        using FetchList = std::list<std::unique_ptr<MetadataFetch>>;
        static FetchList::iterator NextInTurn(const FairTurns& turns, const std::function<bool(const MetadataFetch&)>& inLine,
                                              const std::function<bool(const MetadataFetch&)>& ready);
        // Fetches running now, borrowed slots included.
        static size_t FetchesUnderWay();
        // The fetches of `requester` in the list (`running`: only those that run now).
        static size_t FetchesOf(const std::string& requester, bool running);
        static void CollectFetches();
        // The next new video in turn whose fetch has ended joins under its id, if the clock has
        // reached a free second for it (at the shut-down: any); true when one joined.
        static bool JoinNext();
        // The first second from `second` on that is no entry's id.
        static time_t FreeSecondFrom(time_t second);
        // Takes `second` (not before the last one taken) as an id.
        static std::string ReserveSecond(time_t second);
        static void CommitFetch(MetadataFetch& fetch);
        // The fetch of a video that a reply has named by its id (a new one or a retry), if one runs.
        static MetadataFetch* FetchOf(const std::string& id);
        // A removal of the fetch's entry: a retried one leaves the list now, a new one never joins.
        static std::shared_ptr<PendingChange> RemoveFetch(MetadataFetch& fetch);
        // Stops the fetch; what becomes of it is settled at once, whenever it ends.
        static void Withdraw(MetadataFetch& fetch, MetadataFetch::Withdrawal withdrawal);
        // A removed fetch that has ended: its files go, and everyone who waits for it is told.
        static void DropFetch(MetadataFetch& fetch);
        // A listing that ended: its change completes, and the fetch becomes the one of the first
        // video (true) or goes, when no video can be queued (false).
        static bool TakeListing(MetadataFetch& listing);
        // Adds the fetch of the next playlist video in waiting, in a second of its own.
        static void QueuePlaylistVideos();
        // For the shut-down: the playlist videos in waiting become failed entries.
        static void FailPlaylistVideosInWaiting();
        static void TakeRequest(DownloadEntry& entry, const VideoRequest& video, const QueuedBy& by);
        // What the entry asks of the downloader, with `url` as its address.
        static VideoRequest RequestOf(const DownloadEntry& entry, const std::string& url);
        // The downloader program to start runs with from now on; logged when it changed.
        static DownloaderProgramInfo ProgramForNewRuns();
        static void LogProgram();
        static void CollectWorkers();
        // Main thread, blocking: commits until `change` is complete.
        static void WaitUntilDone(const PendingChange& change);
        // PROGRESSED for every running download whose progress moved since it was last told.
        static void TellProgress();
        // Logs how an ended worker's download went and files its entry; true when it finished.
        static bool TakeOutcome(WorkerThread& worker);
        static void LoadIndex();
        static void LoadQueue();
        // Writes queue.json, after any save still running in the background.
        static void SaveQueue();
        // Both files from the state of now, written on the save thread: what a download that
        // finished changes, without holding up the main loop.
        static void SaveInBackground();
        static bool WriteIndex(const std::vector<std::shared_ptr<DownloadEntry>>& entries, const std::string& path);
        static std::string QueueText();
        // Waits for the save thread and logs how its saves went.
        static void WaitForSaves();
        static void LogSaves(const SaveThread::Outcome& outcome);
        // What a download of `id` wrote while it ran: its files in the folders of a run.
        static void DeletePartialFiles(const std::string& id);
        // Those and the metadata file: every file the cache holds for `id`.
        static void DeleteFilesOf(const std::string& id);
        static WorkerThread* WorkerOf(const DownloadEntry* entry);
        static void Stop(WorkerThread& worker, DOWNLOAD_STATUS whenStopped);
        // Which files a run of changes has to write once it is over.
        struct Saves
        {
            bool index = false;
            bool queue = false;
        };
        // One removal of StartRemovals, one retry of RetryDownloads; the files are left to the caller.
        static std::shared_ptr<PendingChange> Unlink(const std::string& id, Saves& saves);
        static ChangeRequest Retry(const std::string& id, const std::string& requester, Saves& saves);
        static void CreateCacheFolders();
        static void Tell(DOWNLOAD_EVENT event, const DownloadEntry& entry);
        static std::vector<EventListener> listeners;

        // The session list: every entry queued (or restored) in this run that has not finished,
        // in queue order. Shared pointers, so that an entry stays where it is while its worker
        // runs, even after it left the list.
        static std::list<std::shared_ptr<DownloadEntry>> unfinishedCache;
        // The cache index: every finished entry, in the order of index.json.
        static std::vector<std::shared_ptr<DownloadEntry>> saveFileCache;
        static std::list<std::unique_ptr<WorkerThread>> downloadThreads;
        static std::unique_ptr<SaveThread> saveThread;
        // In the order asked; done ones leave at the next collection.
        static FetchList metadataFetches;
        // Of each listed playlist, the videos that have yet to be queued, in its order.
        struct PlaylistInWaiting
        {
            std::string requester;
            std::list<VideoRequest> videos;
        };
        static std::list<PlaylistInWaiting> playlistsInWaiting;
        // Whose fetch starts next, and whose fetched video joins next.
        static FairTurns fetchTurns;
        static FairTurns joinTurns;
        static uint64_t fetchesMade;  // names the files of fetches that have no id yet
        static time_t lastReservedId;
        static size_t borrowedFetchSlots;
        static uint64_t stateVersion;                  // bumped by every change the main thread saves
        static std::atomic<uint64_t> progressVersion;  // bumped by workers as their progress moves
        static time_t startTime;
        static bool shouldClearCacheASAP;
        static bool stopping;
        static FileLayout files;
        static DownloaderProgramInfo downloaderProgram;  // the one last looked up
        static std::function<FinishingStep()> prepareFinishing;
        static Logging::Logger* log;
    };
}
