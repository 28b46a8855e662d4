#pragma once
#include <string>

struct MHD_Connection;

namespace Rest
{
    // "/metrics": what the server has counted (app/Metrics) and its state of the moment, in the
    // Prometheus text format. It needs the full access of the page: the access gate lets a token
    // for the feeds alone no further than the feeds.
    class MetricsPage
    {
    public:
        static void Serve(MHD_Connection* connection, unsigned int openConnections);
        // The route of `uri` as the request counter names it: "api", "events", "metrics",
        // "download", "feeds", "login", "logout" or "page".
        static std::string RouteName(const std::string& uri);
        // "2xx" for 200 and so on.
        static std::string StatusClass(unsigned int status);
    };
}
