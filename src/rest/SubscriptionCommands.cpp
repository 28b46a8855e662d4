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

    size_t NewVideos(const Subscriptions::Operation& operation)
    {
        return operation.newVideos;
    }

    // A subscription as clients see it: its own members and whether its check runs now.
    Ostrel::JsonBlock Shown(const Subscriptions::Subscription& subscription)
    {
        Ostrel::JsonBlock shown = subscription.GetAsJson();
        shown.Set("checking") = SubscriptionManager::IsChecking(subscription.id);
        return shown;
    }
}

Reply RestQueryHandler::ReplyToOperation(const Subscriptions::Operation& operation, const std::string& message)
{
    if (!operation.error.empty() && (operation.notSaved || operation.subscriptionId.empty() ||
                                     SubscriptionManager::Find(operation.subscriptionId) == nullptr))
        return Reply::WithMessage(operation.notSaved ? INTERNAL_SERVER_ERROR : BAD_REQUEST, operation.error);
    Reply reply = Reply::WithMessage(OK, operation.error.empty() ? message : "The check failed: " + operation.error);
    if (const Subscriptions::Subscription* subscription = SubscriptionManager::Find(operation.subscriptionId))
        reply.Set("subscription") = Shown(*subscription);
    return reply;
}

Reply RestQueryHandler::ReplyWhenDone(const std::shared_ptr<Subscriptions::Operation>& operation,
                                      const std::string& message, const char* member,
                                      size_t (*count)(const Subscriptions::Operation& operation))
{
    // Update, once per pass of the main loop, completes the operation.
    return Reply::Held({[operation] { return operation->done; },
                        [operation, message, member, count] {
                            Reply reply = ReplyToOperation(*operation, message);
                            if (reply.status == OK)
                                reply.Set(member) = static_cast<long long>(count(*operation));
                            return reply;
                        }});
}
Reply RestQueryHandler::AddSubscription(const Ostrel::JsonBlock& request)
{
    if (Refusal refusal = RequireField("url", Ostrel::STRING, request))
        return std::move(*refusal);
    Subscriptions::NewSubscription wanted;
    wanted.url = request.Get("url").GetStringData();
    if (wanted.url.empty())
        return Refuse("Parameter 'url' is empty. Should be the address of a channel or playlist.");
    int64_t interval = wanted.check_interval;
    int64_t backlog = wanted.backlog;
    int64_t keepLast = wanted.keep_last;
    Refusal refusal;
    if ((refusal = TakeMode(request, wanted.mode)) ||
        (refusal = TakeOneOf(request, "quality", Downloader::FormatChoice::Qualities(), wanted.quality)) ||
        (refusal = TakeOneOf(request, "audio_format", Downloader::FormatChoice::AudioFormats(), wanted.audio_format)) ||
        (refusal = TakeWholeNumber(request, "check_interval", minInterval, maxInterval, interval)) ||
        (refusal = TakeWholeNumber(request, "backlog", 0, maxBacklog, backlog)) ||
        (refusal = TakeWholeNumber(request, "keep_last", 0, maxKeepLast, keepLast)))
        return std::move(*refusal);
    wanted.check_interval = static_cast<int32_t>(interval);
    wanted.backlog = static_cast<int32_t>(backlog);
    wanted.keep_last = static_cast<int32_t>(keepLast);

    return ReplyWhenDone(SubscriptionManager::StartAdd(std::move(wanted)), "Subscription added!", "new_videos",
                         NewVideos);
}

Reply RestQueryHandler::FetchSubscriptions(const Ostrel::JsonBlock&)
{
    Ostrel::JsonArray list;
    for (const Subscriptions::Subscription& subscription : SubscriptionManager::List())
        list.Add(Shown(subscription));
    Reply reply = Reply::Of(OK);
    reply.Set("subscriptions") = std::move(list);
    return reply;
}

Reply RestQueryHandler::UpdateSubscription(const Ostrel::JsonBlock& request)
{
    Refusal refusal;
    if ((refusal = RequireField("id", Ostrel::STRING, request)))
        return std::move(*refusal);
    const std::string id = request.Get("id").GetStringData();
    Subscriptions::SubscriptionChanges changes;
    if (request.DoesExist("name"))
    {
        if ((refusal = RequireField("name", Ostrel::STRING, request)))
            return std::move(*refusal);
        changes.name = request.Get("name").GetStringData();
        if (changes.name->empty())
            return Refuse("Parameter 'name' is empty. Should be the name the subscription is shown by.");
    }
    if (request.DoesExist("enabled"))
    {
        if ((refusal = RequireField("enabled", Ostrel::BOOL, request)))
            return std::move(*refusal);
        changes.enabled = request.Get("enabled").GetBoolData();
    }
    Downloader::DOWNLOAD_MODE mode = Downloader::VIDEO;
    std::string quality;
    std::string audioFormat;
    int64_t interval = -1;
    int64_t keepLast = -1;
    if ((refusal = TakeMode(request, mode)) ||
        (refusal = TakeOneOf(request, "quality", Downloader::FormatChoice::Qualities(), quality)) ||
        (refusal = TakeOneOf(request, "audio_format", Downloader::FormatChoice::AudioFormats(), audioFormat)) ||
        (refusal = TakeWholeNumber(request, "check_interval", minInterval, maxInterval, interval)) ||
        (refusal = TakeWholeNumber(request, "keep_last", 0, maxKeepLast, keepLast)))
        return std::move(*refusal);
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
    return ReplyToOperation(*SubscriptionManager::Change(id, changes), "Subscription changed.");
}

Reply RestQueryHandler::RemoveSubscription(const Ostrel::JsonBlock& request)
{
    Refusal refusal;
    if ((refusal = RequireField("id", Ostrel::STRING, request)))
        return std::move(*refusal);
    bool deleteDownloads = false;
    if (request.DoesExist("delete_downloads"))
    {
        if ((refusal = RequireField("delete_downloads", Ostrel::BOOL, request)))
            return std::move(*refusal);
        deleteDownloads = request.Get("delete_downloads").GetBoolData();
    }
    const std::string id = request.Get("id").GetStringData();
    log->stream << "Removing subscription " << id << (deleteDownloads ? " with its downloads" : "") << "...";
    log->Flush();
    return ReplyWhenDone(SubscriptionManager::StartRemoval(id, deleteDownloads), "Subscription removed.",
                         "removed_downloads", [](const Subscriptions::Operation& done) { return done.removals.size(); });
}

Reply RestQueryHandler::CheckSubscription(const Ostrel::JsonBlock& request)
{
    if (Refusal refusal = RequireField("id", Ostrel::STRING, request))
        return std::move(*refusal);
    const std::string id = request.Get("id").GetStringData();
    log->stream << "Checking subscription " << id << "...";
    log->Flush();
    return ReplyWhenDone(SubscriptionManager::StartCheck(id), "Subscription checked.", "new_videos", NewVideos);
}
