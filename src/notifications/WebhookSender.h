#pragma once
#include <atomic>
#include <string>
#include "notifications/NotificationTarget.h"

namespace Notifications
{
    // Posts a notification's body to a webhook: application/json with X-Pelko-Event and, with a
    // secret, X-Pelko-Signature: sha256=<hex HMAC-SHA256 of the body>. A 2xx answer within
    // timeoutSeconds delivers it.
    class WebhookSender
    {
    public:
        static constexpr long timeoutSeconds = 10;

        static NotificationTarget::Attempt Send(const std::string& url, const std::string& secret,
                                                const Notification& notification, const std::atomic<bool>* stop);
        // "sha256=" and the hex HMAC-SHA256 of `body` under `secret`.
        static std::string Signature(const std::string& secret, const std::string& body);
    };
}
