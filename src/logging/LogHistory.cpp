#include "logging/LogHistory.h"

using namespace Logging;

std::vector<LogEntry*>* LogHistory::history = nullptr;
time_t LogHistory::lastSave = 0;
bool LogHistory::didHistoryChangeSinceLastSave = false;

void LogHistory::PreInit()
{
    history = new std::vector<LogEntry*>();
    lastSave = time(nullptr);
    didHistoryChangeSinceLastSave = false;
}

void LogHistory::AddLogToHistory(LogEntry* entry)
{
    // A message flushed outside the history's life has nowhere to go; dropping it beats a crash.
    if (history == nullptr)
    {
        delete entry;
        return;
    }
    history->push_back(entry);
    didHistoryChangeSinceLastSave = true;
}

void LogHistory::PostExit()
{
    DeleteHistoryEntries();
    delete history;
    history = nullptr;
}

void LogHistory::DeleteHistoryEntries()
{
    if (history == nullptr)
        return;
    for (LogEntry* entry : *history)
        delete entry;
    history->clear();
}
