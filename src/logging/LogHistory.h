#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "json/JsonArray.h"
#include "logging/LogEntry.h"
#include "logging/LogQuery.h"
#include "logging/SavedLog.h"

namespace Logging
{
    // Process-wide collector of every flushed message, saved to an append-only text log
    // and a JSON log that both keep every run's messages. Main thread only.
    class LogHistory
    {
    public:
        // Creates the empty history; must run before the first Flush().
        static void PreInit();
        // Loads the JSON log; runs once the settings name the log files.
        static void Init();
        // Appends `entry` and takes ownership of it; then tells the listeners.
        static void AddLogToHistory(LogEntry* entry);
        // Called with every message as it joins the history. Listeners stay until the next PreInit.
        using Listener = std::function<void(const LogEntry& entry)>;
        static void AddListener(Listener listener);
        // Saves when something changed and the autosave interval has passed.
        static void Update();
        // Appends the unsaved messages to both log files and moves them to saveFileCache.
        static void Save();
        // Rereads the JSON log into saveFileCache; anything but a JSON array counts as empty.
        static void LoadSaveFileCache();
        // Unsaved then saved messages, newest first. With max_age -1 and the largest max_num,
        // all of them; otherwise the first max_num of those at most max_age seconds old
        // (every age when max_age is negative).
        static Ostrel::JsonArray GetCompleteLogHistoryAsJson(long max_age, unsigned long max_num);
        // One message of a listing: an unsaved entry or a saved message. It keeps what it shows,
        // so that a listing sent bit by bit outlives a save or a clear.
        struct Listed
        {
            std::shared_ptr<const LogEntry> entry;           // unsaved (a copy: a save moves it); null for a saved one
            std::shared_ptr<const SavedLog::Message> saved;  // otherwise
            // Appends its indented rendering at `depth`, as its listing's JSON renders it.
            void RenderTo(std::string& out, unsigned int depth) const;
        };
        // The messages of GetCompleteLogHistoryAsJson, in its order, none of them made JSON.
        static std::vector<Listed> SelectListing(long max_age, unsigned long max_num);
        // The page of matching messages; a few milliseconds for years of them. A value of the JSON
        // log that is not a plain message is matched by its members of those names and types.
        static LogPage QueryLogs(const LogQuery& query);
        // Changes whenever the messages, or the order in which listings meet them, may have changed.
        static uint64_t Version();
        // Deletes both log files and every message, then writes empty logs.
        static bool ClearLogHistory();
        // Saves, then releases every entry and the history itself.
        static void PostExit();

        // Messages flushed since the last save, in flush order; owned. Null outside PreInit..PostExit.
        static std::vector<LogEntry*>* history;
        static time_t lastSave;
        static bool didHistoryChangeSinceLastSave;
        // The JSON log as last read, plus what the saves since appended, as records.
        static SavedLog saveFileCache;

    private:
        static void DeleteHistoryEntries();
        static uint64_t version;
        static std::vector<Listener> listeners;
    };
}
