#include "downloader/FormatChoice.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"
#include "subscriptions/SubscriptionManager.h"

using namespace Rest;
using Subscriptions::SubscriptionManager;

namespace
{
    constexpr int64_t minInterval = 10;
    constexpr int64_t maxInterval = 10080;
    constexpr int64_t maxBacklog = 500;
    constexpr int64_t maxKeepLast = 100000;

    // A subscription as clients see it: its own members and whether its check runs now.
    Ostrel::JsonBlock Shown(const Subscriptions::Subscription& subscription)
    {
        Ostrel::JsonBlock shown = subscription.GetAsJson();
        shown.Set("checking") = SubscriptionManager::IsChecking(subscription.id);
        return shown;
    }
}

bool RestQueryHandler::ReplyToOperation(const Subscriptions::Operation& operation, const std::string& message,
                                        Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code)
{
    if (!operation.error.empty() && (operation.notSaved || operation.subscriptionId.empty() ||
                                     SubscriptionManager::Find(operation.subscriptionId) == nullptr))
    {
        StartReply(operation.notSaved ? INTERNAL_SERVER_ERROR : BAD_REQUEST, body, code);
        body.Set("message") = operation.error;
        return false;
    }
    StartReply(OK, body, code);
    body.Set("message") = operation.error.empty() ? message : "The check failed: " + operation.error;
    if (const Subscriptions::Subscription* subscription = SubscriptionManager::Find(operation.subscriptionId))
        body.Set("subscription") = Shown(*subscription);
    return true;
}

bool RestQueryHandler::AddSubscription(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                       HTTP_STATUS_CODE& responseCode)
{
    if (!RequireField("url", Ostrel::STRING, request, responseBody, responseCode))
        return false;
    Subscriptions::NewSubscription wanted;
    wanted.url = request.Get("url").GetStringData();
    if (wanted.url.empty())
    {
        StartReply(BAD_REQUEST, responseBody, responseCode);
        responseBody.Set("message") = "Parameter 'url' is empty. Should be the address of a channel or playlist.";
        return false;
    }
    int64_t interval = wanted.check_interval;
    int64_t backlog = wanted.backlog;
    int64_t keepLast = wanted.keep_last;
    if (!TakeMode(request, wanted.mode, responseBody, responseCode) ||
        !TakeOneOf(request, "quality", Downloader::FormatChoice::Qualities(), wanted.quality, responseBody,
                   responseCode) ||
        !TakeOneOf(request, "audio_format", Downloader::FormatChoice::AudioFormats(), wanted.audio_format,
                   responseBody, responseCode) ||
        !TakeWholeNumber(request, "check_interval", minInterval, maxInterval, interval, responseBody, responseCode) ||
        !TakeWholeNumber(request, "backlog", 0, maxBacklog, backlog, responseBody, responseCode) ||
        !TakeWholeNumber(request, "keep_last", 0, maxKeepLast, keepLast, responseBody, responseCode))
        return false;
    wanted.check_interval = static_cast<int32_t>(interval);
    wanted.backlog = static_cast<int32_t>(backlog);
    wanted.keep_last = static_cast<int32_t>(keepLast);

    const std::shared_ptr<Subscriptions::Operation> operation = SubscriptionManager::StartAdd(std::move(wanted));
    Hold({[operation] { return SubscriptionManager::Advance(*operation); },
          [operation](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
              const bool added = ReplyToOperation(*operation, "Subscription added!", body, code);
              if (added)
                  body.Set("new_videos") = static_cast<long long>(operation->newVideos);
              return added;
          }});
    return true;
}

bool RestQueryHandler::FetchSubscriptions(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                          HTTP_STATUS_CODE& responseCode)
{
    StartReply(OK, responseBody, responseCode);
    Ostrel::JsonArray list;
    for (const Subscriptions::Subscription& subscription : SubscriptionManager::List())
        list.Add(Shown(subscription));
    responseBody.Set("subscriptions") = std::move(list);
    return true;
}

bool RestQueryHandler::UpdateSubscription(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                          HTTP_STATUS_CODE& responseCode)
{
    if (!RequireField("id", Ostrel::STRING, request, responseBody, responseCode))
        return false;
    const std::string id = request.Get("id").GetStringData();
    Subscriptions::SubscriptionChanges changes;
    if (request.DoesExist("name"))
    {
        if (!RequireField("name", Ostrel::STRING, request, responseBody, responseCode))
            return false;
        changes.name = request.Get("name").GetStringData();
        if (changes.name->empty())
            return Refuse("Parameter 'name' is empty. Should be the name the subscription is shown by.", responseBody,
                          responseCode);
    }
    if (request.DoesExist("enabled"))
    {
        if (!RequireField("enabled", Ostrel::BOOL, request, responseBody, responseCode))
            return false;
        changes.enabled = request.Get("enabled").GetBoolData();
    }
    Downloader::DOWNLOAD_MODE mode = Downloader::VIDEO;
    std::string quality;
    std::string audioFormat;
    int64_t interval = -1;
    int64_t keepLast = -1;
    if (!TakeMode(request, mode, responseBody, responseCode) ||
        !TakeOneOf(request, "quality", Downloader::FormatChoice::Qualities(), quality, responseBody, responseCode) ||
        !TakeOneOf(request, "audio_format", Downloader::FormatChoice::AudioFormats(), audioFormat, responseBody,
                   responseCode) ||
        !TakeWholeNumber(request, "check_interval", minInterval, maxInterval, interval, responseBody, responseCode) ||
        !TakeWholeNumber(request, "keep_last", 0, maxKeepLast, keepLast, responseBody, responseCode))
        return false;
    if (request.DoesExist("mode"))
        changes.mode = mode;
    if (!quality.empty())
        changes.quality = quality;
    if (!audioFormat.empty())
        changes.audio_format = audioFormat;
    if (interval >= 0)
        changes.check_interval = static_cast<int32_t>(interval);
    if (keepLast >= 0)
        changes.keep_last = static_cast<int32_t>(keepLast);

    log->stream << "Changing subscription " << id << "...";
    log->Flush();
    return ReplyToOperation(*SubscriptionManager::Change(id, changes), "Subscription changed.", responseBody,
                            responseCode);
}

bool RestQueryHandler::RemoveSubscription(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                          HTTP_STATUS_CODE& responseCode)
{
    if (!RequireField("id", Ostrel::STRING, request, responseBody, responseCode))
        return false;
    bool deleteDownloads = false;
    if (request.DoesExist("delete_downloads"))
    {
        if (!RequireField("delete_downloads", Ostrel::BOOL, request, responseBody, responseCode))
            return false;
        deleteDownloads = request.Get("delete_downloads").GetBoolData();
    }
    const std::string id = request.Get("id").GetStringData();
    log->stream << "Removing subscription " << id << (deleteDownloads ? " with its downloads" : "") << "...";
    log->Flush();
    const std::shared_ptr<Subscriptions::Operation> operation = SubscriptionManager::StartRemoval(id, deleteDownloads);
    Hold({[operation] { return SubscriptionManager::Advance(*operation); },
          [operation](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
              const bool removed = ReplyToOperation(*operation, "Subscription removed.", body, code);
              if (removed)
                  body.Set("removed_downloads") = static_cast<long long>(operation->removals.size());
              return removed;
          }});
    return true;
}

bool RestQueryHandler::CheckSubscription(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                         HTTP_STATUS_CODE& responseCode)
{
    if (!RequireField("id", Ostrel::STRING, request, responseBody, responseCode))
        return false;
    const std::string id = request.Get("id").GetStringData();
    log->stream << "Checking subscription " << id << "...";
    log->Flush();
    const std::shared_ptr<Subscriptions::Operation> operation = SubscriptionManager::StartCheck(id);
    Hold({[operation] { return SubscriptionManager::Advance(*operation); },
          [operation](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
              const bool checked = ReplyToOperation(*operation, "Subscription checked.", body, code);
              if (checked)
                  body.Set("new_videos") = static_cast<long long>(operation->newVideos);
              return checked;
          }});
    return true;
}
