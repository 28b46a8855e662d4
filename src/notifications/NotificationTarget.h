#pragma once
#include <atomic>
#include <string>
#include <vector>
#include "notifications/Notification.h"

namespace Notifications
{
    // Where notifications go: a webhook or an Apprise address, as the settings name it.
    struct NotificationTarget
    {
        enum KIND
        {
            WEBHOOK,
            APPRISE,
        };

        // The result of one attempt to reach the target.
        struct Attempt
        {
            bool delivered = false;
            std::string outcome;  // "HTTP 200", "exit status 1: ...": never a secret
        };

        KIND kind = WEBHOOK;
        std::string url;
        std::string secret;  // webhooks: signs each body when not empty
        std::vector<std::string> events;
        // Names the target in notifications.json and across changes of the settings; an Apprise
        // address only by its SHA-256, so the file holds no token.
        std::string key;
        // How logs and replies name the target: an Apprise address only by its service.
        std::string shownName;

        // Every target of the current settings. Main thread only.
        static std::vector<NotificationTarget> FromSettings();
        bool Wants(const std::string& event) const;
        // One attempt, blocking for at most about 10 s (or until `*stop`): off the main thread.
        Attempt Send(const Notification& notification, const std::atomic<bool>* stop) const;

        bool operator==(const NotificationTarget& other) const = default;
    };
}
