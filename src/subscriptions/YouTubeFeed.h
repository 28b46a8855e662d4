#pragma once
#include <atomic>
#include <string>
#include <vector>
#include "downloader/FlatListing.h"

namespace Subscriptions
{
    // YouTube's Atom feed of a channel or playlist: its newest 15 videos for one HTTPS request,
    // where a flat listing runs the downloader.
    class YouTubeFeed
    {
    public:
        struct Read
        {
            bool usable = false;
            std::string error;  // when not usable
            std::vector<Downloader::FlatListing::Video> videos;  // newest first
        };

        // "channel_id=UC..." or "playlist_id=PL..." for a list that YouTube lists, taken from
        // its flat listing; empty for any other.
        static std::string QueryFor(const Downloader::FlatListing& listing, const std::string& url);
        // Fetches `feedUrl` + "?" + `query`; blocks.
        static Read Fetch(const std::string& feedUrl, const std::string& query, const std::atomic<bool>* stop);
        // The feed's entries; not usable when `text` is no Atom feed.
        static Read Parse(const std::string& text);
    };
}
