#include <algorithm>
#include "downloader/DownloadManager.h"
#include "rest/RestQueryHandler.h"

using namespace Rest;
using Downloader::DownloadManager;

namespace
{
    // A parameter the command cannot do without; on failure the validator's reply stands, with 400.
    bool RequireField(const std::string& name, Ostrel::JSON_DATA_TYPE type, const Ostrel::JsonBlock& request,
                      Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode)
    {
        if (RestQueryHandler::ValidateField(name, type, request, responseBody))
            return true;
        responseCode = BAD_REQUEST;
        return false;
    }

    void ReplyWithCache(Ostrel::JsonArray cache, Ostrel::JsonBlock& responseBody)
    {
        responseBody.Set("cache_size") = static_cast<long long>(cache.Size());
        responseBody.Set("cache") = std::move(cache);
    }
}

bool RestQueryHandler::QueueDownload(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode)
{
    if (!RequireField("video_url", Ostrel::STRING, request, responseBody, responseCode) ||
        !RequireField("mode", Ostrel::STRING, request, responseBody, responseCode))
        return false;

    const std::string url = request.Get("video_url").GetStringData();
    const std::string modeName = request.Get("mode").GetStringData();
    if (modeName != "video" && modeName != "audio")
    {
        StartReply(BAD_REQUEST, responseBody, responseCode);
        responseBody.Set("message") = "Parameter 'mode' is of wrong value. Should be either 'video' or 'audio'.";
        return false;
    }

    log->stream << "Queued video \"" << url << "\"...";
    log->Flush();
    const std::string id =
        DownloadManager::QueueDownload(url, modeName == "video" ? Downloader::VIDEO : Downloader::AUDIO);

    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = "Download queued!";
    responseBody.Set("queue_position") = static_cast<long long>(DownloadManager::GetQueueLength());
    responseBody.Set("pelko_id") = id;
    ReplyWithCache(DownloadManager::GetAlltimeCacheAsJson(SecondsSinceBoot(), allEntries), responseBody);
    return true;
}

bool RestQueryHandler::FetchSessionCache(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
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

    StartReply(OK, responseBody, responseCode);
    ReplyWithCache(DownloadManager::GetAlltimeCacheAsJson(maxAge, maxNum), responseBody);
    return true;
}

bool RestQueryHandler::FetchAlltimeCache(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                         HTTP_STATUS_CODE& responseCode)
{
    StartReply(OK, responseBody, responseCode);
    ReplyWithCache(DownloadManager::GetAlltimeCacheAsJson(-1, allEntries), responseBody);
    return true;
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

bool RestQueryHandler::RemoveDownloadEntry(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                           HTTP_STATUS_CODE& responseCode)
{
    if (!RequireField("id", Ostrel::STRING, request, responseBody, responseCode))
        return false;

    const std::string id = request.Get("id").GetStringData();
    log->stream << "Removing download id " << id << "...";
    log->Flush();

    if (DownloadManager::RemoveFromCacheByID(id))
    {
        StartReply(OK, responseBody, responseCode);
        responseBody.Set("message") = "Successfully removed.";
    }
    else
    {
        StartReply(BAD_REQUEST, responseBody, responseCode);
        responseBody.Set("message") = "Failed.";
    }
    return true;
}
