#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>
#include "downloader/DownloadManager.h"
#include "downloader/FlatListing.h"

namespace Subscriptions
{
    // One look at a subscription's newest videos, made off the main thread: its feed when it has
    // one and no flat listing is due, else (or when the feed fails) the downloader's flat listing.
    struct SubscriptionCheck
    {
        // Set on the main thread before the run.
        std::string url;
        int32_t listingSize = 0;
        std::string feedUrl;
        std::string feedQuery;  // empty: no feed
        bool listingDue = true;
        Downloader::DownloadManager::RunSettings run;

        // The outcome, written by the run.
        bool usable = false;
        bool listed = false;  // the flat listing was read, so `listing` holds its details
        Downloader::FlatListing listing;
        std::vector<Downloader::FlatListing::Video> videos;  // newest first
        std::string error;

        void Run(const std::atomic<bool>* stop);
    };
}
