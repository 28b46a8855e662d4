#pragma once

struct MHD_Connection;

namespace Rest
{
    struct HttpRequest;

    // "/feeds/all.xml" and "/feeds/<subscription id>.xml": the podcast feeds, whose addresses
    // name the server as the client reached it and carry the "?token=" the feed was fetched with.
    class FeedRoute
    {
    public:
        static void Serve(MHD_Connection* connection, const HttpRequest& request);
    };
}
