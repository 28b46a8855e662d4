#include "rest/FeedRoute.h"
#include <algorithm>
#include <cctype>
#include <microhttpd.h>
#include "config/SettingsTable.h"
#include "config/XGConfig.h"
#include "feeds/PodcastFeed.h"
#include "rest/HttpServer.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;

namespace
{
    constexpr const char* feedSuffix = ".xml";

    std::string Value(MHD_Connection* connection, MHD_ValueKind kind, const char* name)
    {
        const char* value = MHD_lookup_connection_value(connection, kind, name);
        return value == nullptr ? "" : value;
    }

    // The address the client reached the server by (the gate has checked the host already);
    // https:// when the server speaks it, or behind a proxy that says it does.
    std::string BaseAddress(MHD_Connection* connection)
    {
        std::string host = Value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_HOST);
        if (host.empty())
        {
            std::string address;
            uint16_t port = 0;
            SettingsTable::SplitListenAddress(XGConfig::httpServer.port, address, port);
            host = "localhost:" + std::to_string(port);
        }
        const bool https =
            HttpServer::SpeaksHttps() || Value(connection, MHD_HEADER_KIND, "X-Forwarded-Proto") == "https";
        return (https ? "https://" : "http://") + host;
    }

    // The token as the client gave it, when it can be a token at all.
    std::string TokenQuery(MHD_Connection* connection)
    {
        const std::string token = Value(connection, MHD_GET_ARGUMENT_KIND, "token");
        const bool plain = !token.empty() && std::all_of(token.begin(), token.end(), [](unsigned char c) {
            return std::isalnum(c) || c == '_' || c == '-';
        });
        return plain ? "?token=" + token : "";
    }
}

void FeedRoute::Serve(MHD_Connection* connection, const HttpRequest& request)
{
    const std::string file = request.uri.substr(std::string_view(HttpServer::feedsPrefix).size());
    std::string xml;
    if (!file.ends_with(feedSuffix) ||
        !Feeds::PodcastFeed::Render(file.substr(0, file.size() - std::string_view(feedSuffix).size()),
                                    {BaseAddress(connection), TokenQuery(connection)}, xml))
    {
        HttpServer::ServeReply(connection,
                               RestResponseTemplates::GetByCode(
                                   NOT_FOUND, "There is no feed at \"" + request.uri +
                                                  "\": ask for /feeds/all.xml or /feeds/<subscription id>.xml."),
                               NOT_FOUND);
        return;
    }
    MHD_Response* response =
        MHD_create_response_from_buffer(xml.size(), xml.data(), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/rss+xml; charset=utf-8");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
}
