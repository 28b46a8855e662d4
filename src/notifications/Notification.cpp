#include "notifications/Notification.h"

using namespace Notifications;

namespace
{
    std::string Member(const Ostrel::JsonBlock& object, const char* member)
    {
        if (!object.DoesExist(member) || object.Get(member).GetDataType() != Ostrel::STRING)
            return "";
        return object.Get(member).GetStringData();
    }
}

Notification::Notification(const std::string& event, time_t time, Ostrel::JsonData entry,
                           const std::string& subscription, const std::string& message)
{
    document.Set("event") = event;
    document.Set("time") = static_cast<long long>(time);
    document.Set("entry") = std::move(entry);
    document.Set("subscription") = subscription;
    if (!message.empty())
        document.Set("message") = message;
}

bool Notification::FromDocument(const Ostrel::JsonBlock& document, Notification& notification)
{
    if (!document.DoesExist("event") || document.Get("event").GetDataType() != Ostrel::STRING ||
        !document.DoesExist("time") || document.Get("time").GetDataType() != Ostrel::INT)
        return false;
    notification.document = document;
    return true;
}

std::string Notification::Event() const
{
    return document.Get("event").GetStringData();
}

std::string Notification::Body() const
{
    return document.Render(0, false);
}

std::string Notification::EntryText(const char* member) const
{
    if (!document.DoesExist("entry") || document.Get("entry").GetDataType() != Ostrel::JSON)
        return "";
    return Member(document.Get("entry").GetJsonData(), member);
}

std::string Notification::Title() const
{
    const std::string event = Event();
    const std::string title = EntryText("title").empty() ? EntryText("video_url") : EntryText("title");
    const std::string reason = event == "subscription_error" ? Member(document, "message") : EntryText("error_message");
    if (event == "queued")
        return "Queued: " + title;
    if (event == "finished")
        return "Finished: " + title;
    if (event == "failed")
        return "Failed: " + title + (reason.empty() ? "" : " — " + reason);
    if (event == "subscription_error")
        return "Subscription failed: " + Member(document, "subscription") + (reason.empty() ? "" : " — " + reason);
    return "Pelko test notification: the notifications reach this target.";
}

std::string Notification::Text() const
{
    const std::string page = EntryText("webpage_url");
    return Title() + (page.empty() ? "" : "\n" + page);
}
