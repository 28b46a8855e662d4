#include <algorithm>
#include <filesystem>
#include <optional>
#include <unordered_map>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "app/Metrics.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "downloader/ExternalProgram.h"
#include "downloader/FailureReasons.h"
#include "downloader/MetadataDocument.h"
#include "downloader/RunFiles.h"
#include "json/Json.h"
#include "logging/Logger.h"

using namespace Downloader;

std::shared_ptr<PendingChange> DownloadManager::StartQueueDownload(VideoRequest video, QueuedBy by,
                                                                   std::string requester)
{
    std::unique_ptr<MetadataFetch> fetch = NewFetch(std::move(video), std::move(requester), "");
    fetch->by = std::move(by);
    return BeginFetch(std::move(fetch));
}

std::shared_ptr<PendingChange> DownloadManager::StartQueuePlaylist(VideoRequest playlist, int32_t maxItems,
                                                                   std::string requester)
{
    // The reply names the first video's id before its details are read: it is reserved now.
    std::unique_ptr<MetadataFetch> fetch = NewFetch(std::move(playlist), std::move(requester), CreateNewPelkoID());
    fetch->idSecond = lastReservedId;
    fetch->playlistLimit = maxItems;
    return BeginFetch(std::move(fetch));
}

std::unique_ptr<DownloadManager::MetadataFetch> DownloadManager::NewFetch(VideoRequest video, std::string requester,
                                                                          std::string id)
{
    auto fetch = std::make_unique<MetadataFetch>();
    fetch->change = std::make_shared<PendingChange>();
    fetch->name = id.empty() ? FileLayout::FetchName(++fetchesMade) : id;
    fetch->change->id = std::move(id);
    fetch->video = std::move(video);
    fetch->requester = std::move(requester);
    fetch->askedAt = Clock::now();
    return fetch;
}

std::shared_ptr<PendingChange> DownloadManager::BeginFetch(std::unique_ptr<MetadataFetch> fetch)
{
    std::shared_ptr<PendingChange> change = fetch->change;
    metadataFetches.push_back(std::move(fetch));
    StartFetches();
    return change;
}

size_t DownloadManager::FetchesUnderWay()
{
    return borrowedFetchSlots +
           static_cast<size_t>(std::count_if(
               metadataFetches.begin(), metadataFetches.end(),
               [](const std::unique_ptr<MetadataFetch>& fetch) { return fetch->started && !fetch->ended; }));
}

size_t DownloadManager::FetchesOf(const std::string& requester, bool running)
{
    return static_cast<size_t>(
        std::count_if(metadataFetches.begin(), metadataFetches.end(), [&](const std::unique_ptr<MetadataFetch>& fetch) {
            return fetch->requester == requester && (!running || (fetch->started && !fetch->ended));
        }));
}

bool DownloadManager::BorrowFetchSlot()
{
    const bool anyWaiting = std::any_of(metadataFetches.begin(), metadataFetches.end(),
                                        [](const std::unique_ptr<MetadataFetch>& fetch) { return !fetch->started; });
    if (stopping || anyWaiting || !playlistsInWaiting.empty() || FetchesUnderWay() + 1 >= maxFetches)
        return false;
    borrowedFetchSlots++;
    return true;
}

void DownloadManager::ReturnFetchSlot()
{
    if (borrowedFetchSlots > 0)
        borrowedFetchSlots--;
    StartFetches();
}

DownloadManager::RunSettings DownloadManager::SettingsForRun(const std::string& name)
{
    return {ProgramForNewRuns(), files.RunScratch(name)};
}

void DownloadManager::StartFetches()
{
    while (!stopping && FetchesUnderWay() < maxFetches)
    {
        const auto next = NextInTurn(
            fetchTurns, [](const MetadataFetch& fetch) { return !fetch.started; },
            [](const MetadataFetch& fetch) { return FetchesOf(fetch.requester, true) < maxFetches - 1; });
        if (next == metadataFetches.end())
            return;
        MetadataFetch* fetch = next->get();
        fetchTurns.Served(fetch->requester);
        fetch->started = true;
        WorkerSettings settings{ProgramForNewRuns(), files, "", nullptr, {}};
        fetch->thread = std::thread(RunFetch, fetch, std::move(settings));
    }
}

DownloadManager::FetchList::iterator DownloadManager::NextInTurn(const FairTurns& turns,
                                                                 const std::function<bool(const MetadataFetch&)>& inLine,
                                                                 const std::function<bool(const MetadataFetch&)>& ready)
{
    for (const bool playlistVideos : {false, true})
    {
        std::vector<FairTurns::Waiting> waiting;
        std::vector<FetchList::iterator> firsts;
        // Each requester's place in `waiting`, or none when its first in line is not ready.
        std::unordered_map<std::string, std::optional<size_t>> seen;
        for (auto fetch = metadataFetches.begin(); fetch != metadataFetches.end(); ++fetch)
        {
            const MetadataFetch& candidate = **fetch;
            if (candidate.playlistVideo != playlistVideos || !inLine(candidate))
                continue;
            const auto [place, first] = seen.try_emplace(candidate.requester);
            if (first && ready(candidate))
            {
                place->second = waiting.size();
                waiting.push_back({candidate.requester, 1});
                firsts.push_back(fetch);
            }
            else if (!first && place->second)
                waiting[*place->second].backlog++;
        }
        if (!seen.empty())
            return waiting.empty() ? metadataFetches.end() : firsts[turns.Next(waiting)];
    }
    return metadataFetches.end();
}

void DownloadManager::RunFetch(MetadataFetch* fetch, WorkerSettings settings)
{
    const bool listing = fetch->playlistLimit > 0;
    // A listing's files are its own; its first video's fetch uses the id's names after it.
    const std::string name = listing ? FileLayout::ListingName(fetch->name) : fetch->name;
    const std::string metadataPath = settings.files.MetadataFile(name);
    const FileLayout::Scratch scratch = settings.files.FetchScratch(name);
    const std::string errorPath = scratch.Errors();

    ExternalProgram::Outcome outcome;
    const auto started = std::chrono::steady_clock::now();
    {
        RunFiles runFiles(settings.program, scratch);
        outcome = ExternalProgram::Run(
            listing ? DownloaderCommand::Playlist(runFiles.program, fetch->video.url, fetch->playlistLimit,
                                                  runFiles.cookies)
                    : DownloaderCommand::Metadata(runFiles.program, fetch->video, runFiles.cookies),
            metadataPath, errorPath, &fetch->stop);
    }
    fetch->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const MetadataDocument document =
        outcome.started ? MetadataDocument::Read(metadataPath, fetch->video.playlistIndex > 0) : MetadataDocument{};
    if (listing)
    {
        FileSystem::Delete(metadataPath);
        if (document.kind == MetadataDocument::PLAYLIST)
            fetch->playlistVideos = document.Videos(fetch->video);
        else if (document.kind == MetadataDocument::VIDEO)
            fetch->playlistVideos = {fetch->video};
        if (fetch->playlistVideos.size() > static_cast<size_t>(fetch->playlistLimit))
            fetch->playlistVideos.resize(static_cast<size_t>(fetch->playlistLimit));
        fetch->usable = !fetch->playlistVideos.empty();
    }
    else if (document.kind == MetadataDocument::VIDEO)
    {
        fetch->usable = true;
        fetch->metadata.TakeMetadata(document.document);
    }

    if (!fetch->usable)
    {
        if (outcome.stopped)
            fetch->error = FailureReasons::shutDownDuringFetch;
        else if (settings.program.path.empty())
            fetch->error = FailureReasons::noProgram;
        else if (!outcome.started)
            fetch->error = FailureReasons::notStarted;
        else if (document.kind == MetadataDocument::PLAYLIST)
            fetch->error = listing ? FailureReasons::emptyPlaylist
                                   : fetch->video.playlistIndex > 0 ? FailureReasons::playlistPlaceGone
                                                                    : FailureReasons::isPlaylist;
        else
        {
            fetch->error = FailureReasons::LastErrorLine(errorPath);
            if (fetch->error.empty())
                fetch->error = listing ? FailureReasons::unreadablePlaylist : FailureReasons::unreadableDetails;
        }
    }
    fetch->ended.store(true);
}

void DownloadManager::CollectFetches()
{
    bool changed = false;
    for (auto fetch = metadataFetches.begin(); fetch != metadataFetches.end();)
    {
        MetadataFetch& current = **fetch;
        if (!current.ended)
        {
            ++fetch;
            continue;
        }
        if (current.thread.joinable())
            current.thread.join();
        bool gone = current.withdrawal == MetadataFetch::REMOVED;
        if (gone)
            DropFetch(current);
        else if (current.playlistLimit > 0)
            gone = !TakeListing(current);
        // A retry, or a playlist's first video under the id its reply named, once that second has come.
        else if (current.retried != nullptr || (current.idSecond != 0 && (stopping || Clock::now() >= current.idSecond)))
        {
            CommitFetch(current);
            gone = true;
        }
        else
        {
            ++fetch;
            continue;
        }
        changed = true;
        fetch = gone ? metadataFetches.erase(fetch) : std::next(fetch);
    }
    while (JoinNext())
        changed = true;
    if (!changed)
        return;
    const auto active = [](const std::string& requester) {
        return FetchesOf(requester, false) > 0 ||
               std::any_of(playlistsInWaiting.begin(), playlistsInWaiting.end(),
                           [&requester](const PlaylistInWaiting& playlist) { return playlist.requester == requester; });
    };
    fetchTurns.ForgetUnless(active);
    joinTurns.ForgetUnless(active);
    SaveQueue();
    StartFetches();
}

bool DownloadManager::JoinNext()
{
    const auto next = NextInTurn(
        joinTurns,
        [](const MetadataFetch& fetch) {
            return fetch.playlistLimit == 0 && fetch.retried == nullptr && fetch.idSecond == 0 &&
                   fetch.withdrawal != MetadataFetch::REMOVED;
        },
        [](const MetadataFetch& fetch) { return fetch.ended.load(); });
    if (next == metadataFetches.end())
        return false;
    MetadataFetch& joining = **next;
    const time_t second = FreeSecondFrom(std::max(joining.askedAt, lastReservedId + 1));
    if (!stopping && second > Clock::now())
        return false;
    joining.change->id = ReserveSecond(second);
    joining.idSecond = second;
    joinTurns.Served(joining.requester);
    if (joining.thread.joinable())
        joining.thread.join();
    CommitFetch(joining);
    metadataFetches.erase(next);
    return true;
}

bool DownloadManager::TakeListing(MetadataFetch& listing)
{
    const std::shared_ptr<PendingChange> listed = listing.change;
    if (!listing.usable)
    {
        listed->playlistError = listing.error;
        log->stream << log->Err() << "Playlist " << listing.video.url << " could not be queued: " << listing.error;
        log->Flush();
        listed->done = true;
        return false;
    }

    std::list<VideoRequest> videos(listing.playlistVideos.begin(), listing.playlistVideos.end());
    listed->playlistSize = videos.size();
    log->stream << "Queued playlist \"" << listing.video.url << "\" with " << videos.size() << " videos...";
    log->Flush();

    // The fetch goes on as the first video's, under the id reserved for it; no one waits for it.
    listing.change = std::make_shared<PendingChange>();
    listing.change->id = listed->id;
    listing.video = videos.front();
    videos.pop_front();
    listing.playlistLimit = 0;
    listing.playlistVideos.clear();
    listing.started = false;
    listing.ended = false;
    if (!videos.empty())
        playlistsInWaiting.push_back({listing.requester, std::move(videos)});
    listed->done = true;
    return true;
}

void DownloadManager::QueuePlaylistVideos()
{
    // Only in a second that no entry has taken, so that queuing that waits goes first, and a few
    // at a time as the requester's fetches leave the list.
    if (stopping || lastReservedId >= Clock::now())
        return;
    for (auto playlist = playlistsInWaiting.begin(); playlist != playlistsInWaiting.end();)
    {
        while (!playlist->videos.empty() && FetchesOf(playlist->requester, false) < maxFetches - 1)
        {
            metadataFetches.push_back(NewFetch(playlist->videos.front(), playlist->requester, ""));
            metadataFetches.back()->playlistVideo = true;
            playlist->videos.pop_front();
        }
        playlist = playlist->videos.empty() ? playlistsInWaiting.erase(playlist) : std::next(playlist);
    }
}

void DownloadManager::FailPlaylistVideosInWaiting()
{
    // They come back as failed at the next start, each to be retried, rather than be lost.
    for (const PlaylistInWaiting& playlist : playlistsInWaiting)
        for (const VideoRequest& video : playlist.videos)
        {
            auto entry = std::make_shared<DownloadEntry>();
            entry->pelko_id = CreateNewPelkoID();
            entry->queued_timestamp = lastReservedId;
            entry->download_url = FileLayout::DownloadAddress(entry->pelko_id);
            TakeRequest(*entry, video, {});
            entry->Fail(FailureReasons::shutDownDuringFetch, 0);
            unfinishedCache.push_back(entry);
        }
    playlistsInWaiting.clear();
}

void DownloadManager::TakeRequest(DownloadEntry& entry, const VideoRequest& video, const QueuedBy& by)
{
    entry.subscription_id = by.subscriptionId;
    entry.subscription_name = by.subscriptionName;
    entry.video_url = video.url;
    entry.mode = video.mode;
    entry.quality = video.quality;
    entry.audio_format = video.audioFormat;
    entry.playlist_index = video.playlistIndex;
}

VideoRequest DownloadManager::RequestOf(const DownloadEntry& entry, const std::string& url)
{
    return {url, entry.mode, entry.quality, entry.playlist_index, entry.audio_format};
}

void DownloadManager::CommitFetch(MetadataFetch& fetch)
{
    std::shared_ptr<DownloadEntry> entry = fetch.retried;
    if (entry == nullptr)
    {
        entry = std::make_shared<DownloadEntry>();
        entry->pelko_id = fetch.change->id;
        TakeRequest(*entry, fetch.video, fetch.by);
        entry->queued_timestamp = fetch.idSecond;
        entry->download_url = FileLayout::DownloadAddress(entry->pelko_id);
        unfinishedCache.push_back(entry);
        if (fetch.name != entry->pelko_id)
        {
            std::error_code error;
            std::filesystem::rename(files.MetadataFile(fetch.name), files.MetadataFile(entry->pelko_id), error);
        }
    }
    WarnIfMissingDependenciesWIN();
    if (fetch.started && !fetch.stop)
        Metrics::Observe("pelko_metadata_fetch_duration_seconds", fetch.seconds);

    // A cancel has answered already: whatever the fetch brought, the entry is not queued.
    if (fetch.withdrawal == MetadataFetch::CANCELLED)
    {
        fetch.usable = false;
        fetch.error = FailureReasons::cancelled;
    }
    if (fetch.usable)
    {
        entry->title = fetch.metadata.title;
        entry->description = fetch.metadata.description;
        entry->uploader = fetch.metadata.uploader;
        entry->duration = fetch.metadata.duration;
        entry->webpage_url = fetch.metadata.webpage_url;
        entry->thumbnail_url = fetch.metadata.thumbnail_url;
        entry->Requeue();
        Tell(DOWNLOAD_EVENT::QUEUED, *entry);
    }
    else
    {
        entry->Fail(fetch.error, 0);
        fetch.change->failure = entry->ErrorMessage();
        log->stream << log->Err() << "Download " << entry->pelko_id << " (" << entry->video_url
                    << ") failed: " << fetch.error;
        log->Flush();
        Tell(DOWNLOAD_EVENT::FAILED, *entry);
    }
    fetch.change->done = true;
    for (const std::shared_ptr<PendingChange>& waiting : fetch.waiting)
        waiting->done = true;
}

DownloadManager::MetadataFetch* DownloadManager::FetchOf(const std::string& id)
{
    // A listing has named no id yet, nor has a new video before it joins; a removed fetch is gone already.
    for (const std::unique_ptr<MetadataFetch>& fetch : metadataFetches)
        if (fetch->playlistLimit == 0 && fetch->withdrawal != MetadataFetch::REMOVED && !fetch->change->id.empty() &&
            fetch->change->id == id)
            return fetch.get();
    return nullptr;
}

void DownloadManager::Withdraw(MetadataFetch& fetch, MetadataFetch::Withdrawal withdrawal)
{
    fetch.withdrawal = std::max(fetch.withdrawal, withdrawal);
    fetch.stop = true;
    if (!fetch.started)
    {
        fetch.started = true;
        fetch.ended = true;
    }
}

void DownloadManager::DropFetch(MetadataFetch& fetch)
{
    // What the fetch wrote after a removal or a clear had deleted the entry's files.
    DeleteFilesOf(fetch.name);
    fetch.change->removed = true;
    fetch.change->done = true;
    for (const std::shared_ptr<PendingChange>& waiting : fetch.waiting)
        waiting->done = true;
}

void DownloadManager::Commit()
{
    CollectFetches();
    CollectWorkers();
    LogSaves(saveThread->Report());
}

void DownloadManager::LoadQueue()
{
    const std::string path = files.QueueFile();
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
    WaitForSaves();
    stateVersion++;
    LogSaves({0, false, !FileSystem::WriteFile(files.QueueFile(), QueueText())});
}

std::string DownloadManager::QueueText()
{
    Ostrel::JsonArray records;
    for (const std::shared_ptr<DownloadEntry>& entry : unfinishedCache)
        if (entry->status != FINISHED)
            records.Add(entry->GetAsRecord());
    return records.Render(0, false);
}
