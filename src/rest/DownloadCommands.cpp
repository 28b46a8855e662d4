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

    void ReplyWithCache(Ostrel::JsonArray cache, Ostrel::JsonBlock& responseBody)
    {
        responseBody.Set("cache_size") = static_cast<long long>(cache.Size());
        responseBody.Set("cache") = std::move(cache);
    }
}

bool RestQueryHandler::RequireField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                    const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                    HTTP_STATUS_CODE& responseCode)
{
    if (ValidateField(name, type, request, responseBody))
        return true;
    responseCode = BAD_REQUEST;
    return false;
}

bool RestQueryHandler::TakeMode(const Ostrel::JsonBlock& request, Downloader::DOWNLOAD_MODE& mode,
                                Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode)
{
    if (!request.DoesExist("mode"))
        return true;
    if (!RequireField("mode", Ostrel::STRING, request, responseBody, responseCode))
        return false;
    const std::string name = request.Get("mode").GetStringData();
    if (name != "video" && name != "audio")
    {
        StartReply(BAD_REQUEST, responseBody, responseCode);
        responseBody.Set("message") = "Parameter 'mode' is of wrong value. Should be either 'video' or 'audio'.";
        return false;
    }
    mode = name == "video" ? Downloader::VIDEO : Downloader::AUDIO;
    return true;
}

bool RestQueryHandler::TakeOneOf(const Ostrel::JsonBlock& request, const std::string& name,
                                 const std::vector<std::string>& choices, std::string& value,
                                 Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode)
{
    if (!request.DoesExist(name))
        return true;
    if (!RequireField(name, Ostrel::STRING, request, responseBody, responseCode))
        return false;
    const std::string given = request.Get(name).GetStringData();
    if (std::find(choices.begin(), choices.end(), given) == choices.end())
    {
        std::string accepted;
        for (size_t i = 0; i < choices.size(); i++)
            accepted += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + ("'" + choices[i] + "'");
        StartReply(BAD_REQUEST, responseBody, responseCode);
        responseBody.Set("message") = "Parameter '" + name + "' is of wrong value. Should be one of " + accepted + ".";
        return false;
    }
    value = given;
    return true;
}

bool RestQueryHandler::TakeWholeNumber(const Ostrel::JsonBlock& request, const std::string& name, int64_t min,
                                       int64_t max, int64_t& number, Ostrel::JsonBlock& responseBody,
                                       HTTP_STATUS_CODE& responseCode)
{
    if (!request.DoesExist(name))
        return true;
    if (!RequireField(name, Ostrel::INT, request, responseBody, responseCode))
        return false;
    const Ostrel::JsonData& value = request.Get(name);
    const bool whole = value.GetDataType() == Ostrel::INT;
    if (!whole || value.GetIntData() < min || value.GetIntData() > max)
    {
        StartReply(BAD_REQUEST, responseBody, responseCode);
        responseBody.Set("message") = "Parameter '" + name + "' is of wrong value. Should be a whole number from " +
                                      std::to_string(min) + " to " + std::to_string(max) + ".";
        return false;
    }
    number = value.GetIntData();
    return true;
}

bool RestQueryHandler::QueueDownload(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode)
{
    if (!RequireField("video_url", Ostrel::STRING, request, responseBody, responseCode) ||
        !RequireField("mode", Ostrel::STRING, request, responseBody, responseCode))
        return false;

    Downloader::VideoRequest video;
    video.url = request.Get("video_url").GetStringData();
    if (!TakeMode(request, video.mode, responseBody, responseCode) ||
        !TakeOneOf(request, "quality", Downloader::FormatChoice::Qualities(), video.quality, responseBody,
                   responseCode) ||
        !TakeOneOf(request, "audio_format", Downloader::FormatChoice::AudioFormats(), video.audioFormat, responseBody,
                   responseCode))
        return false;
    bool playlist = false;
    if (request.DoesExist("playlist"))
    {
        if (!RequireField("playlist", Ostrel::BOOL, request, responseBody, responseCode))
            return false;
        playlist = request.Get("playlist").GetBoolData();
    }
    if (playlist)
        return QueuePlaylist(request, video, responseBody, responseCode);

    log->stream << "Queued video \"" << video.url << "\"...";
    log->Flush();
    const std::shared_ptr<Downloader::PendingChange> change = DownloadManager::StartQueueDownload(video, {}, requester);

    // The position and the listing are read the moment the entry joins the list.
    return ReplyWhenDone(change, responseBody, responseCode, [change](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
        if (change->removed)
            return Refuse("The download was removed before its details had been read.", body, code);
        StartReply(OK, body, code);
        body.Set("message") = "Download queued!";
        body.Set("queue_position") = static_cast<long long>(DownloadManager::GetQueueLength());
        body.Set("pelko_id") = change->id;
        ReplyWithCache(DownloadManager::GetAlltimeCacheAsJson(SecondsSinceBoot(), allEntries), body);
        return true;
    });
}

bool RestQueryHandler::QueuePlaylist(const Ostrel::JsonBlock& request, const Downloader::VideoRequest& playlist,
                                     Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode)
{
    int64_t maxItems = defaultPlaylistItems;
    if (!TakeWholeNumber(request, "max_items", 1, maxPlaylistItems, maxItems, responseBody, responseCode))
        return false;

    log->stream << "Queuing playlist \"" << playlist.url << "\"...";
    log->Flush();
    const std::shared_ptr<Downloader::PendingChange> change =
        DownloadManager::StartQueuePlaylist(playlist, static_cast<int32_t>(maxItems), requester);
    // The reply comes once the playlist is listed; its videos join the queue after it.
    return ReplyWhenDone(change, responseBody, responseCode, [change](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
        if (change->removed)
            return Refuse("The download cache was cleared before the playlist had been listed.", body, code);
        if (!change->playlistError.empty())
        {
            StartReply(BAD_REQUEST, body, code);
            body.Set("message") = "The playlist could not be queued: " + change->playlistError;
            return false;
        }
        StartReply(OK, body, code);
        body.Set("message") = "Playlist queued!";
        body.Set("pelko_id") = change->id;
        body.Set("playlist_size") = static_cast<long long>(change->playlistSize);
        return true;
    });
}

bool RestQueryHandler::FetchSessionCache(const Ostrel::JsonBlock& request, Ostrel::JsonBlock&,
                                         HTTP_STATUS_CODE& responseCode)
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

    ReplyWithListing(maxAge, maxNum, responseCode);
    return true;
}

bool RestQueryHandler::FetchAlltimeCache(const Ostrel::JsonBlock&, Ostrel::JsonBlock&,
                                         HTTP_STATUS_CODE& responseCode)
{
    ReplyWithListing(-1, allEntries, responseCode);
    return true;
}

void RestQueryHandler::ReplyWithListing(int64_t maxAge, uint64_t maxNum, HTTP_STATUS_CODE& responseCode)
{
    responseCode = OK;
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
    {
        ReplyStreamed(streamed(DownloadManager::SelectListing(maxAge, maxNum)));
        return;
    }
    // The listing depends on these alone (an age limit only through the oldest time it lets in);
    // the version is read before the listing is made.
    const std::string key = std::to_string(Clock::now() - maxAge) + " " + std::to_string(maxNum) + " " +
                            std::to_string(DownloadManager::ListingVersion());
    ReplyRendered(sessionListings.For(key, [&] { return streamed(DownloadManager::SelectListing(maxAge, maxNum))->ReadAll(); }));
}

bool RestQueryHandler::ClearDownloadCache(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                          HTTP_STATUS_CODE& responseCode)
{
    log->stream << "Clearing download cache...";
    log->Flush();
    const bool cleared = DownloadManager::ClearDownloadCache();

    StartReply(OK, responseBody, responseCode);
    if (cleared)
        responseBody.Set("message") = "Download cache has been cleared!";
    else
    {
        responseBody.Set("status") = "OK_WAIT";
        responseBody.Set("message") = "Download cache cannot be cleared right now because there are active "
                                      "downloads, but will be cleared as soon as those have finished!";
    }
    return true;
}

bool RestQueryHandler::RequireDownloadId(const Ostrel::JsonBlock& request, const char* doing,
                                         Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode,
                                         std::string& id)
{
    if (!RequireField("id", Ostrel::STRING, request, responseBody, responseCode))
        return false;
    id = request.Get("id").GetStringData();
    log->stream << doing << " download id " << id << "...";
    log->Flush();
    return true;
}

bool RestQueryHandler::RemoveDownloadEntry(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                           HTTP_STATUS_CODE& responseCode)
{
    std::string id;
    if (!RequireDownloadId(request, "Removing", responseBody, responseCode, id))
        return false;

    const std::shared_ptr<Downloader::PendingChange> change = DownloadManager::StartRemoval(id);
    if (change == nullptr)
    {
        StartReply(BAD_REQUEST, responseBody, responseCode);
        responseBody.Set("message") = "Failed.";
        return true;
    }
    // A running download is removed once its program has ended.
    return ReplyWhenDone(change, responseBody, responseCode, MessageReply("Successfully removed."));
}

bool RestQueryHandler::CancelDownload(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode)
{
    std::string id;
    if (!RequireDownloadId(request, "Cancelling", responseBody, responseCode, id))
        return false;
    return ReplyToChange(DownloadManager::CancelDownload(id), responseBody, responseCode,
                         MessageReply("Download cancelled."));
}

bool RestQueryHandler::RetryDownload(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode)
{
    std::string id;
    if (!RequireDownloadId(request, "Retrying", responseBody, responseCode, id))
        return false;
    // The details may have been fetched again, and may have failed again, or the entry removed meanwhile.
    return ReplyToChange(DownloadManager::RetryDownload(id, requester), responseBody, responseCode,
                         [id](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
                             const std::string failure = RetryFailure(id);
                             if (!DownloadManager::DoesPelkoIDExist(id))
                                 return Refuse(failure, body, code);
                             StartReply(OK, body, code);
                             body.Set("message") = failure.empty() ? "Download queued again!" : failure;
                             return true;
                         });
}

bool RestQueryHandler::Refuse(const std::string& message, Ostrel::JsonBlock& responseBody,
                              HTTP_STATUS_CODE& responseCode)
{
    StartReply(BAD_REQUEST, responseBody, responseCode);
    responseBody.Set("message") = message;
    return false;
}

bool RestQueryHandler::ReplyToChange(const Downloader::ChangeRequest& request, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode, const ReplyBuilder& build)
{
    if (request.change == nullptr)
        return Refuse(request.refusal, responseBody, responseCode);
    return ReplyWhenDone(request.change, responseBody, responseCode, build);
}

bool RestQueryHandler::ReplyWhenDone(const std::shared_ptr<Downloader::PendingChange>& change,
                                     Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode,
                                     const ReplyBuilder& build)
{
    if (change->done)
        return build(responseBody, responseCode);

    struct Prepared
    {
        bool built = false;
        bool result = false;
        Ostrel::JsonBlock body;
        HTTP_STATUS_CODE code = OK;
    };
    auto prepared = std::make_shared<Prepared>();
    // Built inside the download manager's step that completes the change: nothing may escape.
    change->whenDone = [prepared, build] {
        try
        {
            prepared->result = build(prepared->body, prepared->code);
        }
        catch (const std::exception& e)
        {
            prepared->body = RestResponseTemplates::GetByCode(INTERNAL_SERVER_ERROR, e.what());
            prepared->code = INTERNAL_SERVER_ERROR;
        }
        prepared->built = true;
    };
    Hold({[change, prepared] { return DownloadManager::IsDone(*change) && prepared->built; },
          [prepared](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
              body = prepared->body;
              code = prepared->code;
              return prepared->result;
          }});
    return true;
}

RestQueryHandler::ReplyBuilder RestQueryHandler::MessageReply(const std::string& message)
{
    return [message](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
        StartReply(OK, body, code);
        body.Set("message") = message;
        return true;
    };
}
