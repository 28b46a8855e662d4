#include "logging/LogHistory.h"
#include <fstream>
#include <limits>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "json/Json.h"

using namespace Logging;
using namespace Ostrel;

std::vector<LogEntry*>* LogHistory::history = nullptr;
time_t LogHistory::lastSave = 0;
bool LogHistory::didHistoryChangeSinceLastSave = false;
JsonArray LogHistory::saveFileCache;

void LogHistory::PreInit()
{
    history = new std::vector<LogEntry*>();
    lastSave = Clock::now();
    didHistoryChangeSinceLastSave = false;
}

void LogHistory::Init()
{
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
}

void LogHistory::Update()
{
    if (Clock::now() - lastSave > XGConfig::logging.autosave_interval && didHistoryChangeSinceLastSave)
        Save();
}

void LogHistory::Save()
{
    std::string text;
    JsonArray newEntries;
    if (history != nullptr)
        for (const LogEntry* entry : *history)
        {
            text += entry->compiledMessage + "\n";
            newEntries.Add(entry->GetAsJson());
        }

    {
        std::ofstream textLog(XGConfig::logging.logfile_text, std::ios::binary | std::ios::app);
        textLog << text;
    }

    // Reread first: the file on disk is the record, the cache only mirrors it.
    LoadSaveFileCache();
    saveFileCache.Merge(newEntries);
    FileSystem::WriteFile(XGConfig::logging.logfile_json, JsonData(saveFileCache).Render(false));

    DeleteHistoryEntries();
    lastSave = Clock::now();
    didHistoryChangeSinceLastSave = false;
}

void LogHistory::LoadSaveFileCache()
{
    JsonArray content;
    if (FileSystem::Exists(XGConfig::logging.logfile_json))
    {
        const std::string text = FileSystem::ReadFile(XGConfig::logging.logfile_json);
        if (IsJsonValid(text))
        {
            JsonData parsed;
            parsed.Parse(text);
            if (parsed.GetDataType() == ARRAY)
                content.CloneFrom(parsed.GetArrayData());
        }
    }
    saveFileCache.CloneFrom(content);
}

JsonArray LogHistory::GetCompleteLogHistoryAsJson(long max_age, unsigned long max_num)
{
    JsonArray merged;
    if (history != nullptr)
        for (const LogEntry* entry : *history)
            merged.Add(entry->GetAsJson());
    merged.Merge(saveFileCache);

    if (max_age == -1 && max_num == std::numeric_limits<unsigned long>::max())
    {
        merged.Sort("timestamp", NUMERICAL_DESCENDING, ".");
        return merged;
    }

    JsonArray selected;
    for (std::size_t i = 0; i < merged.Size() && selected.Size() < max_num; i++)
    {
        const JsonData& value = merged.At(i);
        if (max_age < 0)
        {
            selected.Add(value);
            continue;
        }
        // A non-object in the JSON log throws here; the HTTP layer answers it with 500.
        const JsonBlock& object = value.GetJsonData();
        if (object.DoesExist("timestamp") && object.Get("timestamp").GetDataType() == INT &&
            max_age >= Clock::now() - object.Get("timestamp").GetIntData())
            selected.Add(value);
    }
    selected.Sort("timestamp", NUMERICAL_DESCENDING, ".");
    return selected;
}

bool LogHistory::ClearLogHistory()
{
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
