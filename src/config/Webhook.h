#pragma once
#include <array>
#include <string>
#include <vector>

// The events a notification target may ask for.
inline constexpr std::array<const char*, 4> notificationEvents = {"queued", "finished", "failed",
                                                                   "subscription_error"};

// One entry of the setting notifications.webhooks: where the server posts its events.
struct Webhook
{
    std::string url;
    std::vector<std::string> events;  // "queued", "finished", "failed", "subscription_error"
    std::string secret;               // signs each body when set; never handed to a client

    bool operator==(const Webhook& other) const = default;
};
