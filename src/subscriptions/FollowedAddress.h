#pragma once
#include <string>

namespace Subscriptions
{
    // The address a subscription lists for `url`: a YouTube channel's own address (/@name,
    // /channel/ID, /c/name, /user/name, with or without a query such as a share's "?si=")
    // lists the channel's tabs as playlists of their own, so its Videos tab is followed; any
    // other address, a tab or a playlist among them, stays as it is.
    std::string FollowedAddress(const std::string& url);
}
