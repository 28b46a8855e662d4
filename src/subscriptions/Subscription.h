#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include "downloader/DownloadEntry.h"

namespace Ostrel
{
    class JsonBlock;
}

namespace Subscriptions
{
    // One followed channel or playlist: what a client chose, and how its checks went. Its record
    // is what subscriptions.json keeps; the identities it has seen live in its archive file.
    struct Subscription
    {
        std::string id;
        std::string url;   // the address that is listed
        std::string name;  // the channel's or playlist's title, unless a client renamed it
        Downloader::DOWNLOAD_MODE mode = Downloader::VIDEO;
        std::string quality = "best";
        std::string audio_format = "mp3";  // FormatChoice::AudioFormats
        int32_t check_interval = 60;  // minutes
        int32_t backlog = 0;
        int32_t keep_last = 0;  // 0: every finished download stays
        bool enabled = true;
        time_t last_check = 0;
        time_t next_check = 0;
        std::string last_error;
        int64_t videos_seen = 0;
        int64_t videos_queued = 0;
        // "channel_id=..." or "playlist_id=..." of its YouTube feed; empty when it has none.
        std::string feed_query;
        // The list's own identity ("youtubetab UU..."), which tells two addresses of one list apart.
        std::string list_identity;
        time_t last_listing = 0;   // the last check that listed it flat (a feed check does not)
        // The most entries a flat listing of it has read; 0 while unknown. Entries beyond it that
        // a longer listing shows were there before (the back catalogue), not new.
        int32_t listing_depth = 0;
        int32_t throttled_checks = 0;  // checks in a row that the site refused as too many

        // The form the commands answer with.
        Ostrel::JsonBlock GetAsJson() const;
        // GetAsJson plus what only the server needs: what subscriptions.json holds.
        Ostrel::JsonBlock GetAsRecord() const;
        // Rebuilds one from its record, each member taken only with its exact type; false when
        // it has no id or address.
        static bool FromRecord(const Ostrel::JsonBlock& record, Subscription& subscription);

        // "video" or "audio".
        std::string ModeName() const;
    };
}
