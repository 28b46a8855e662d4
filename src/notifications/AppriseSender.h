#pragma once
#include <atomic>
#include <string>
#include "notifications/NotificationTarget.h"

namespace Notifications
{
    // Tells an Apprise address of a notification through the `apprise` program. The address goes
    // to the program in a configuration file only its owner can read, never on its command
    // line, where every user of the machine could read its token.
    class AppriseSender
    {
    public:
        static constexpr int timeoutSeconds = 60;  // the program alone takes seconds to start

        static NotificationTarget::Attempt Send(const std::string& url, const Notification& notification,
                                                const std::atomic<bool>* stop);
        static bool IsInstalled();
    };
}
