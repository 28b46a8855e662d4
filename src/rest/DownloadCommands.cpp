#include <algorithm>
#include "app/Clock.h"
#include "downloader/DownloadManager.h"
#include "downloader/FormatChoice.h"
#include "rest/RestQueryHandler.h"
#include "rest/ReplyMemo.h"
#include "rest/ReplyStream.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;
using Downloader::DownloadManager;

namespace
{
    ReplyMemo sessionListings;

    void ReplyWithCache(Ostrel::JsonArray cache, Reply& reply)
    {
        reply.Set("cache_size") = static_cast<long long>(cache.Size());
        reply.Set("cache") = std::move(cache);
    }
}

Refusal RestQueryHandler::TakeMode(const Ostrel::JsonBlock& request, Downloader::DOWNLOAD_MODE& mode)
{
    if (!request.DoesExist("mode"))
        return std::nullopt;
    if (Refusal refusal = RequireField("mode", Ostrel::STRING, request))
        return refusal;
    const std::string name = request.Get("mode").GetStringData();
    if (name != "video" && name != "audio")
        return Refuse("Parameter 'mode' is of wrong value. Should be either 'video' or 'audio'.");
    mode = name == "video" ? Downloader::VIDEO : Downloader::AUDIO;
    return std::nullopt;
}

Refusal RestQueryHandler::TakeOneOf(const Ostrel::JsonBlock& request, const std::string& name,
                                    const std::vector<std::string>& choices, std::string& value)
{
    if (!request.DoesExist(name))
        return std::nullopt;
    if (Refusal refusal = RequireField(name, Ostrel::STRING, request))
        return refusal;
    const std::string given = request.Get(name).GetStringData();
    if (std::find(choices.begin(), choices.end(), given) == choices.end())
    {
        std::string accepted;
        for (size_t i = 0; i < choices.size(); i++)
            accepted += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + ("'" + choices[i] + "'");
        return Refuse("Parameter '" + name + "' is of wrong value. Should be one of " + accepted + ".");
    }
    value = given;
    return std::nullopt;
}

Refusal RestQueryHandler::TakeWholeNumber(const Ostrel::JsonBlock& request, const std::string& name, int64_t min,
                                          int64_t max, int64_t& number)
{
    if (!request.DoesExist(name))
        return std::nullopt;
    if (Refusal refusal = RequireField(name, Ostrel::INT, request))
        return refusal;
    const Ostrel::JsonData& value = request.Get(name);
    const bool whole = value.GetDataType() == Ostrel::INT;
    if (!whole || value.GetIntData() < min || value.GetIntData() > max)
        return Refuse("Parameter '" + name + "' is of wrong value. Should be a whole number from " +
                      std::to_string(min) + " to " + std::to_string(max) + ".");
    number = value.GetIntData();
    return std::nullopt;
}

Reply RestQueryHandler::QueueDownload(const Ostrel::JsonBlock& request)
{
    Downloader::VideoRequest video;
    bool playlist = false;
    Refusal refusal;
    if ((refusal = RequireField("video_url", Ostrel::STRING, request)) ||
        (refusal = RequireField("mode", Ostrel::STRING, request)))
        return std::move(*refusal);
    video.url = request.Get("video_url").GetStringData();
    if ((refusal = TakeMode(request, video.mode)) ||
        (refusal = TakeOneOf(request, "quality", Downloader::FormatChoice::Qualities(), video.quality)) ||
        (refusal = TakeOneOf(request, "audio_format", Downloader::FormatChoice::AudioFormats(), video.audioFormat)))
        return std::move(*refusal);
    if (request.DoesExist("playlist"))
    {
        if ((refusal = RequireField("playlist", Ostrel::BOOL, request)))
            return std::move(*refusal);
        playlist = request.Get("playlist").GetBoolData();
    }
    if (playlist)
        return QueuePlaylist(request, video);

    log->stream << "Queued video \"" << video.url << "\"...";
    log->Flush();
    const std::shared_ptr<Downloader::PendingChange> change = DownloadManager::StartQueueDownload(video, {}, requester);

    // The position and the listing are read right after the commit in which the entry joined the list.
    return ReplyWhenDone(change, [change] {
        if (change->removed)
            return Refuse("The download was removed before its details had been read.");
        Reply reply = Reply::WithMessage(OK, "Download queued!");
        reply.Set("queue_position") = static_cast<long long>(DownloadManager::GetQueueLength());
        reply.Set("pelko_id") = change->id;
        ReplyWithCache(DownloadManager::GetAlltimeCacheAsJson(SecondsSinceBoot(), allEntries), reply);
        return reply;
    });
}

Reply RestQueryHandler::QueuePlaylist(const Ostrel::JsonBlock& request, const Downloader::VideoRequest& playlist)
{
    int64_t maxItems = defaultPlaylistItems;
    if (Refusal refusal = TakeWholeNumber(request, "max_items", 1, maxPlaylistItems, maxItems))
        return std::move(*refusal);

    log->stream << "Queuing playlist \"" << playlist.url << "\"...";
    log->Flush();
    const std::shared_ptr<Downloader::PendingChange> change =
        DownloadManager::StartQueuePlaylist(playlist, static_cast<int32_t>(maxItems), requester);
    // The reply comes once the playlist is listed; its videos join the queue after it.
    return ReplyWhenDone(change, [change] {
        if (change->removed)
            return Refuse("The download cache was cleared before the playlist had been listed.");
        if (!change->playlistError.empty())
            return Refuse("The playlist could not be queued: " + change->playlistError);
        Reply reply = Reply::WithMessage(OK, "Playlist queued!");
        reply.Set("pelko_id") = change->id;
        reply.Set("playlist_size") = static_cast<long long>(change->playlistSize);
        return reply;
    });
}

Reply RestQueryHandler::FetchSessionCache(const Ostrel::JsonBlock& request)
{
    // However large "max_age" is, the listing never reaches back before the start.
    int64_t maxAge = SecondsSinceBoot();
    uint64_t maxNum = allEntries;
    if (HasOptionalField("max_age", Ostrel::INT, request))
    {
        const long long requested = request.Get("max_age").GetIntData();
        if (requested >= 0)
            maxAge = std::min<int64_t>(requested, maxAge);
    }
    if (HasOptionalField("max_num", Ostrel::INT, request))
        maxNum = static_cast<uint64_t>(request.Get("max_num").GetIntData());

    return ReplyWithListing(maxAge, maxNum);
}

Reply RestQueryHandler::FetchAlltimeCache(const Ostrel::JsonBlock&)
{
    return ReplyWithListing(-1, allEntries);
}

Reply RestQueryHandler::ReplyWithListing(int64_t maxAge, uint64_t maxNum)
{
    const auto streamed = [](const DownloadManager::Listing& listing) {
        Ostrel::JsonBlock reply = RestResponseTemplates::GetByCode(OK, "");
        reply.Set("cache_size") = static_cast<long long>(listing.size());
        reply.Set("cache") = Ostrel::JsonArray();
        return ReplyStream::WithItems(reply, "cache", listing.size(),
                                      [listing](size_t i, std::string& item, unsigned int itemDepth) {
                                          listing[i]->AppendJsonTo(item, itemDepth);
                                      });
    };
    // Every entry of years: rendered while it is sent, never kept as a whole (the entries it
    // shows stay alive until then).
    if (maxAge < 0)
        return Reply::Streamed(streamed(DownloadManager::SelectListing(maxAge, maxNum)));
    // The listing depends on these alone (an age limit only through the oldest time it lets in);
    // the version is read before the listing is made.
    const std::string key = std::to_string(Clock::now() - maxAge) + " " + std::to_string(maxNum) + " " +
                            std::to_string(DownloadManager::ListingVersion());
    return Reply::Rendered(sessionListings.For(
        key, [&] { return streamed(DownloadManager::SelectListing(maxAge, maxNum))->ReadAll(); }));
}

Reply RestQueryHandler::ClearDownloadCache(const Ostrel::JsonBlock&)
{
    log->stream << "Clearing download cache...";
    log->Flush();
    if (DownloadManager::ClearDownloadCache())
        return Reply::WithMessage(OK, "Download cache has been cleared!");
    Reply reply = Reply::Of(OK);
    reply.Set("status") = "OK_WAIT";
    reply.Set("message") = "Download cache cannot be cleared right now because there are active "
                           "downloads, but will be cleared as soon as those have finished!";
    return reply;
}

Refusal RestQueryHandler::RequireDownloadId(const Ostrel::JsonBlock& request, const char* doing, std::string& id)
{
    if (Refusal refusal = RequireField("id", Ostrel::STRING, request))
        return refusal;
    id = request.Get("id").GetStringData();
    log->stream << doing << " download id " << id << "...";
    log->Flush();
    return std::nullopt;
}

Reply RestQueryHandler::RemoveDownloadEntry(const Ostrel::JsonBlock& request)
{
    std::string id;
    if (Refusal refusal = RequireDownloadId(request, "Removing", id))
        return std::move(*refusal);

    const std::shared_ptr<Downloader::PendingChange> change = DownloadManager::StartRemoval(id);
    if (change == nullptr)
        return Refuse("Failed.");
    // A running download is removed once its program has ended.
    return ReplyWhenDone(change, MessageReply("Successfully removed."));
}

Reply RestQueryHandler::CancelDownload(const Ostrel::JsonBlock& request)
{
    std::string id;
    if (Refusal refusal = RequireDownloadId(request, "Cancelling", id))
        return std::move(*refusal);
    return ReplyToChange(DownloadManager::CancelDownload(id), MessageReply("Download cancelled."));
}

Reply RestQueryHandler::RetryDownload(const Ostrel::JsonBlock& request)
{
    std::string id;
    if (Refusal refusal = RequireDownloadId(request, "Retrying", id))
        return std::move(*refusal);
    // The details may have been fetched again, and may have failed again, or the entry removed meanwhile.
    const Downloader::ChangeRequest retry = DownloadManager::RetryDownload(id, requester);
    return ReplyToChange(retry, [id, change = retry.change] {
        const std::string failure = RetryFailure(id, *change);
        if (change->removed)
            return Refuse(failure);
        return Reply::WithMessage(OK, failure.empty() ? "Download queued again!" : failure);
    });
}

Reply RestQueryHandler::ReplyToChange(const Downloader::ChangeRequest& request, const ReplyBuilder& build)
{
    if (request.change == nullptr)
        return Refuse(request.refusal);
    return ReplyWhenDone(request.change, build);
}

Reply RestQueryHandler::ReplyWhenDone(const std::shared_ptr<Downloader::PendingChange>& change,
                                      const ReplyBuilder& build)
{
    if (change->done)
        return build();
    // The main loop answers right after the download manager's commit that completed the
    // change: the reply shows what the commit left.
    return Reply::Held({[change] { return DownloadManager::IsDone(*change); }, build});
}

RestQueryHandler::ReplyBuilder RestQueryHandler::MessageReply(const std::string& message)
{
    return [message] { return Reply::WithMessage(OK, message); };
}
