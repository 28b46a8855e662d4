#include "notifications/NotificationTarget.h"
#include <algorithm>
#include "app/Sha256.h"
#include "config/SettingsTable.h"
#include "config/XGConfig.h"
#include "notifications/AppriseSender.h"
#include "notifications/WebhookSender.h"

using namespace Notifications;

std::vector<NotificationTarget> NotificationTarget::FromSettings()
{
    std::vector<NotificationTarget> targets;
    for (const Webhook& hook : XGConfig::notifications.webhooks)
    {
        NotificationTarget target;
        target.kind = WEBHOOK;
        target.url = hook.url;
        target.secret = hook.secret;
        target.events = hook.events;
        target.key = "webhook " + hook.url;
        target.shownName = hook.url;
        targets.push_back(target);
    }
    for (const std::string& url : XGConfig::notifications.apprise_urls)
    {
        NotificationTarget target;
        target.kind = APPRISE;
        target.url = url;
        target.events = XGConfig::notifications.apprise_events;
        target.key = "apprise " + Sha256::Hex(url);
        const size_t scheme = url.find("://");
        target.shownName = (scheme == std::string::npos ? "" : url.substr(0, scheme + 3)) + SettingsTable::maskedText;
        targets.push_back(target);
    }
    return targets;
}

bool NotificationTarget::Wants(const std::string& event) const
{
    return std::find(events.begin(), events.end(), event) != events.end();
}

NotificationTarget::Attempt NotificationTarget::Send(const Notification& notification,
                                                     const std::atomic<bool>* stop) const
{
    if (kind == WEBHOOK)
        return WebhookSender::Send(url, secret, notification, stop);
    return AppriseSender::Send(url, notification, stop);
}
