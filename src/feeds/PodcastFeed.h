#pragma once
#include <string>
#include <vector>
#include "downloader/DownloadEntry.h"

namespace Feeds
{
    // Podcast feeds of finished downloads: RSS 2.0 with the iTunes namespace, newest first, one
    // item per download whose file is in the cache (the newest maxItems), its enclosure the
    // file's download address.
    class PodcastFeed
    {
    public:
        static constexpr const char* allName = "all";  // the feed of every finished download
        // The newest items a feed holds: podcast apps poll their feeds, and the server answers
        // each poll on its main thread (10,000 items of a long history took 0.7 s and 25 MB).
        static constexpr size_t maxItems = 500;

        // How the feed writes the server's addresses: `base` ("http://pelko.lan:6969") before each
        // path, `query` ("?token=...", or empty) after it.
        struct Addresses
        {
            std::string base;
            std::string query;
        };

        // The feed named `name`: "all", or a subscription's id. False when there is no such feed.
        // Main thread only.
        static bool Render(const std::string& name, const Addresses& addresses, std::string& xml);

        // What an item needs of a download, with its file's size in bytes.
        struct Item
        {
            const Downloader::DownloadEntry* entry;
            int64_t fileSize;
        };
        // The feed's text for `items` (newest first) under a channel of `title` and `description`.
        static std::string RenderItems(const std::string& title, const std::string& description,
                                       const std::vector<Item>& items, const Addresses& addresses);
    };
}
