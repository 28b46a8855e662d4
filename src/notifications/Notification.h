#pragma once
#include <ctime>
#include <string>
#include "json/Json.h"

namespace Notifications
{
    // One event as the targets are told of it. Its document is the body a webhook receives:
    // {"event", "time", "entry" (the entry's JSON form, or null), "subscription" (a name, or "")},
    // and "message" when the event has a reason of its own (a subscription's error).
    class Notification
    {
    public:
        Notification() = default;
        Notification(const std::string& event, time_t time, Ostrel::JsonData entry, const std::string& subscription,
                     const std::string& message = "");
        // A document read back from notifications.json; false when it is no notification.
        static bool FromDocument(const Ostrel::JsonBlock& document, Notification& notification);

        const Ostrel::JsonBlock& Document() const { return document; }
        std::string Event() const;
        // The webhook body: the document in the indented form.
        std::string Body() const;
        // In plain words for people: "Finished: <title>", "Failed: <title> — <reason>", ...
        std::string Title() const;
        // The title, and on a line of its own the page the video came from, when known.
        std::string Text() const;

    private:
        std::string EntryText(const char* member) const;
        Ostrel::JsonBlock document;
    };
}
