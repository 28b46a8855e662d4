#include "rest/SiteRules.h"
#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include "config/XGConfig.h"

using namespace Rest;

namespace
{
    std::string Lower(std::string text)
    {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    }

    bool IsPort(const std::string& text)
    {
        return !text.empty() && text.size() <= 5 &&
               std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
    }

    // "name", "name:port", "[v6]" or "[v6]:port" into its name and port (empty when none given).
    bool SplitHost(const std::string& text, std::string& name, std::string& port)
    {
        std::string rest;
        if (!text.empty() && text.front() == '[')
        {
            const size_t close = text.find(']');
            if (close == std::string::npos)
                return false;
            name = text.substr(1, close - 1);
            rest = text.substr(close + 1);
        }
        else
        {
            const size_t colon = text.find(':');
            name = text.substr(0, colon);
            rest = colon == std::string::npos ? "" : text.substr(colon);
        }
        if (!rest.empty() && (rest.front() != ':' || !IsPort(rest.substr(1))))
            return false;
        port = rest.empty() ? "" : rest.substr(1);
        name = Lower(name);
        // "localhost." is the fully qualified spelling of "localhost".
        if (name.size() > 1 && name.back() == '.')
            name.pop_back();
        return !name.empty();
    }

    bool IsIpAddress(const std::string& name)
    {
        in6_addr address{};
        return inet_pton(AF_INET, name.c_str(), &address) == 1 || inet_pton(AF_INET6, name.c_str(), &address) == 1;
    }

    std::string PortOr(const std::string& port, const std::string& scheme)
    {
        if (!port.empty())
            return std::to_string(std::stoul(port));
        return scheme == "https" ? "443" : "80";
    }
}

std::string SiteRules::HostName(const std::string& hostHeader)
{
    std::string name, port;
    return SplitHost(hostHeader, name, port) ? name : "";
}

bool SiteRules::IsHostAllowed(const std::string& hostHeader)
{
    if (hostHeader.empty())
        return true;
    std::string name = HostName(hostHeader);
    if (name.empty())
        return false;
    if (IsIpAddress(name) || name == "localhost")
        return true;
    const auto& allowed = XGConfig::access.allowed_hosts;
    return std::any_of(allowed.begin(), allowed.end(), [&name](const std::string& entry) {
        std::string listed = Lower(entry);
        if (!listed.empty() && listed.back() == '.')
            listed.pop_back();
        return !listed.empty() && listed == name;
    });
}

bool SiteRules::IsCrossSite(const Request& request)
{
    const bool followsLink = (request.method == "GET" || request.method == "HEAD") && !request.isApi &&
                             request.fetchMode == "navigate" && request.fetchDest == "document";
    if (followsLink)
        return false;
    // The browser itself says where a request comes from, and no page can change what it says. The
    // page's own forms may carry "Origin: null" (it sends no referrer), so "same-origin" wins.
    const std::string site = Lower(request.fetchSite);
    if (site == "cross-site")
        return true;
    if (site == "same-origin" || site == "none")
        return false;
    // "same-site" (another port, say) or an older browser: the Origin must name this host and port.
    if (request.origin.empty())
        return false;

    // An Origin is "scheme://host[:port]", or "null" from pages that have none to give.
    const size_t separator = request.origin.find("://");
    if (separator == std::string::npos)
        return true;
    const std::string scheme = Lower(request.origin.substr(0, separator));
    std::string originName, originPort, hostName, hostPort;
    if (!SplitHost(request.origin.substr(separator + 3), originName, originPort) ||
        !SplitHost(request.host, hostName, hostPort))
        return true;
    return originName != hostName || PortOr(originPort, scheme) != PortOr(hostPort, scheme);
}
