#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>
#include "downloader/DownloadManager.h"

namespace Downloader
{
    // The newest entries at an address (a channel, a playlist) as the downloader lists them
    // flat, without visiting a single video: what a subscription reads to find new videos.
    struct FlatListing
    {
        struct Video
        {
            std::string identity;  // "<extractor> <id>", as --download-archive writes it
            std::string url;
            std::string title;
        };

        bool usable = false;  // a listing was read (possibly empty)
        bool isVideo = false; // the address is one video, not a list of them
        std::string error;    // when not usable: the downloader's own reason, or why it did not run
        std::string title;
        std::string id;            // the list's own id
        std::string extractorKey;  // the extractor that listed it ("YoutubeTab")
        std::string channelId;     // empty unless the list belongs to a channel that names it
        std::vector<Video> videos; // newest first, entries without an id or address left out

        // Runs the downloader for at most `maxItems` entries; blocks, so it belongs off the main
        // thread. `*stop` turning true ends the run.
        static FlatListing Read(const DownloadManager::RunSettings& settings, const std::string& url,
                                int32_t maxItems, const std::atomic<bool>* stop);
    };
}
