#pragma once
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "downloader/DownloadEntry.h"

namespace Downloader
{
    // Orders of a history query; ties go newest first.
    enum HISTORY_SORT : int32_t
    {
        NEWEST = 0,
        OLDEST = 1,
        BY_TITLE = 2,     // A to Z, ASCII case ignored
        BY_UPLOADER = 3,  // A to Z, ASCII case ignored
        BY_DURATION = 4,  // longest first
        BY_SIZE = 5       // largest finished file first; entries without a file last
    };

    // One page of the session and index entries that match all of what is set.
    struct HistoryQuery
    {
        std::string search;  // in title, uploader or either address, ASCII case ignored
        std::optional<DOWNLOAD_MODE> mode;
        std::optional<DOWNLOAD_STATUS> status;
        std::optional<std::string> subscriptionId;  // exactly; empty for what a client queued
        HISTORY_SORT sort = NEWEST;
        size_t offset = 0;
        size_t limit = 100;
    };

    struct HistoryPage
    {
        size_t total = 0;  // every match, not only those of the page
        std::vector<std::shared_ptr<const DownloadEntry>> entries;
    };
}
