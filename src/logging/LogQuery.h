#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>
#include "json/JsonArray.h"
#include "logging/LogEntry.h"

namespace Logging
{
    // One page of the saved and unsaved messages that match all of what is set.
    struct LogQuery
    {
        std::string search;  // in the bare message, ASCII case ignored
        int64_t since = std::numeric_limits<int64_t>::min();  // the oldest timestamp let in
        std::vector<LOG_TYPE> types;                          // empty for every type
        bool oldestFirst = false;  // otherwise newest first, later flushed first within a second
        size_t offset = 0;
        size_t limit = 100;
    };

    struct LogPage
    {
        size_t total = 0;  // every match, not only those of the page
        Ostrel::JsonArray logs;
    };
}
