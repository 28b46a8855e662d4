#include "logging/LogHistory.h"
#include <fstream>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "json/Json.h"

using namespace Logging;
using namespace Ostrel;

std::vector<LogEntry*>* LogHistory::history = nullptr;
time_t LogHistory::lastSave = 0;
bool LogHistory::didHistoryChangeSinceLastSave = false;
SavedLog LogHistory::saveFileCache;
uint64_t LogHistory::version = 0;

void LogHistory::PreInit()
{
    history = new std::vector<LogEntry*>();
    lastSave = Clock::now();
    didHistoryChangeSinceLastSave = false;
}

uint64_t LogHistory::Version()
{
    return version;
}

void LogHistory::Init()
{
    version++;
    LoadSaveFileCache();
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
    version++;
}

void LogHistory::Update()
{
    if (Clock::now() - lastSave > XGConfig::logging.autosave_interval && didHistoryChangeSinceLastSave)
        Save();
}

void LogHistory::Save()
{
    version++;
    std::string text;
    if (history != nullptr)
        for (const LogEntry* entry : *history)
            text += entry->compiledMessage + "\n";

    {
        std::ofstream textLog(XGConfig::logging.logfile_text, std::ios::binary | std::ios::app);
        textLog << text;
    }

    std::vector<LogEntry*> none;
    saveFileCache.Append(XGConfig::logging.logfile_json, history != nullptr ? *history : none);

    DeleteHistoryEntries();
    lastSave = Clock::now();
    didHistoryChangeSinceLastSave = false;
}

void LogHistory::LoadSaveFileCache()
{
    saveFileCache.Load(XGConfig::logging.logfile_json);
}

JsonArray LogHistory::GetCompleteLogHistoryAsJson(long max_age, unsigned long max_num)
{
    // Without limits (max_age -1, the largest max_num) this walk takes every message, as a
    // plain sort of them all would. "now" is read anew for every message, as the walk may cross a second.
    const auto youngEnough = [max_age](long long timestamp) {
        return max_age >= Clock::now() - timestamp;
    };

    // Merged order: the unsaved messages, then the JSON log's, oldest first. Only the
    // selection is turned into JSON: a session listing costs what the session holds.
    JsonArray selected;
    if (history != nullptr)
        for (const LogEntry* entry : *history)
        {
            if (selected.Size() >= max_num)
                break;
            if (max_age < 0 || youngEnough(entry->timestamp))
                selected.Add(entry->GetAsJson());
        }
    for (std::size_t i = 0; i < saveFileCache.Size() && selected.Size() < max_num; i++)
    {
        const SavedLog::Message& saved = saveFileCache[i];
        if (max_age < 0)
            saved.AppendTo(selected);
        else if (saved.other == nullptr)
        {
            if (youngEnough(saved.entry.timestamp))
                saved.AppendTo(selected);
        }
        else
        {
            // A non-object in the JSON log throws here; the HTTP layer answers it with 500.
            const JsonBlock& object = saved.other->GetJsonData();
            if (object.DoesExist("timestamp") && object.Get("timestamp").GetDataType() == INT &&
                youngEnough(object.Get("timestamp").GetIntData()))
                saved.AppendTo(selected);
        }
    }
    selected.Sort("timestamp", NUMERICAL_DESCENDING, ".");
    return selected;
}

bool LogHistory::ClearLogHistory()
{
    version++;
    FileSystem::Delete(XGConfig::logging.logfile_json);
    FileSystem::Delete(XGConfig::logging.logfile_text);
    saveFileCache.Clear();
    DeleteHistoryEntries();
    Save();
    return true;
}

void LogHistory::PostExit()
{
    Save();
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
