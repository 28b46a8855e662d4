#pragma once
#include <string>

namespace Rest
{
    // Which requests a browser sends for this server's own page. A web page the user visits
    // elsewhere must not drive the server: not directly (the browser names its site in the
    // Origin and Sec-Fetch-Site headers), and not through a name of its own that resolves to
    // this machine (DNS rebinding: the Host header then names that name).
    class SiteRules
    {
    public:
        // The headers and facts of one request that the rules read; empty when absent.
        struct Request
        {
            std::string method;
            std::string host;       // Host
            std::string origin;     // Origin
            std::string fetchSite;  // Sec-Fetch-Site
            std::string fetchMode;  // Sec-Fetch-Mode
            std::string fetchDest;  // Sec-Fetch-Dest
            bool isApi = false;     // sent to "/api" or another route of the interface ("/events", "/metrics")
        };

        // True for an IP address, "localhost" or a name of access.allowed_hosts (any case,
        // with or without port), and for a request without Host (HTTP/1.0 scripts).
        static bool IsHostAllowed(const std::string& hostHeader);

        // True when a browser sent the request for another site: Sec-Fetch-Site says
        // "cross-site", or (when it says neither "same-origin" nor "none") an Origin names
        // another host or port than Host.
        // A person following a link to the page (a GET or HEAD that loads a document into
        // the window, not "/api") is let through: it changes nothing and shows the page only to them.
        static bool IsCrossSite(const Request& request);

        // The name of a Host header in lower case ("[::1]:80" gives "::1"), or empty when the
        // header is not a host with an optional port.
        static std::string HostName(const std::string& hostHeader);
    };
}
