#include "subscriptions/FollowedAddress.h"
#include <vector>

std::string Subscriptions::FollowedAddress(const std::string& url)
{
    static const std::vector<std::string> channelPaths = {"/@", "/channel/", "/c/", "/user/"};
    // The downloader takes an address without its scheme as well.
    const size_t schemeEnd = url.find("://");
    const size_t hostStart = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
    const size_t pathStart = url.find('/', hostStart);
    const size_t pathEnd = url.find_first_of("?#", hostStart);
    if (pathStart == std::string::npos || pathStart > pathEnd)
        return url;
    const std::string host = url.substr(hostStart, pathStart - hostStart);
    if (host != "youtube.com" && (host.size() < 12 || host.compare(host.size() - 12, 12, ".youtube.com") != 0))
        return url;
    std::string path = url.substr(pathStart, pathEnd == std::string::npos ? std::string::npos : pathEnd - pathStart);
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    for (const std::string& prefix : channelPaths)
        if (path.rfind(prefix, 0) == 0 && path.size() > prefix.size() &&
            path.find('/', prefix.size()) == std::string::npos)
            return url.substr(0, pathStart) + path + "/videos";
    return url;
}
