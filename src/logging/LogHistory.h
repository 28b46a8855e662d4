#pragma once
#include <ctime>
#include <vector>
#include "logging/LogEntry.h"

namespace Logging
{
    // Process-wide collector of every flushed message. Main thread only.
    class LogHistory
    {
    public:
        // Creates the empty history; must run before the first Flush().
        static void PreInit();
        // Appends `entry` and takes ownership of it.
        static void AddLogToHistory(LogEntry* entry);
        // Releases every entry and the history itself.
        static void PostExit();

        // Messages flushed since the last save, in flush order; owned. Null outside PreInit..PostExit.
        static std::vector<LogEntry*>* history;
        static time_t lastSave;
        static bool didHistoryChangeSinceLastSave;

    private:
        static void DeleteHistoryEntries();
    };
}
