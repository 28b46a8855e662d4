#include "logging/LogHistory.h"
#include <algorithm>
#include <fstream>
#include <string_view>
#include "app/Clock.h"
#include "app/FileSystem.h"
#include "app/TextSearch.h"
#include "config/XGConfig.h"
#include "json/Json.h"

using namespace Logging;
using namespace Ostrel;

std::vector<LogEntry*>* LogHistory::history = nullptr;
time_t LogHistory::lastSave = 0;
bool LogHistory::didHistoryChangeSinceLastSave = false;
SavedLog LogHistory::saveFileCache;
uint64_t LogHistory::version = 0;
std::vector<LogHistory::Listener> LogHistory::listeners;

void LogHistory::PreInit()
{
    history = new std::vector<LogEntry*>();
    listeners.clear();
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
    for (const Listener& listener : listeners)
        listener(*entry);
}

void LogHistory::AddListener(Listener listener)
{
    listeners.push_back(std::move(listener));
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

void LogHistory::Listed::RenderTo(std::string& out, unsigned int depth) const
{
    if (entry != nullptr)
        entry->AppendJsonTo(out, depth);
    else
        saved->RenderTo(out, depth);
}

JsonArray LogHistory::GetCompleteLogHistoryAsJson(long max_age, unsigned long max_num)
{
    JsonArray selected;
    for (const Listed& listed : SelectListing(max_age, max_num))
    {
        if (listed.entry != nullptr)
            selected.Add(listed.entry->GetAsJson());
        else
            listed.saved->AppendTo(selected);
    }
    return selected;
}

std::vector<LogHistory::Listed> LogHistory::SelectListing(long max_age, unsigned long max_num)
{
    // Without limits (max_age -1, the largest max_num) this walk takes every message, as a
    // plain sort of them all would. "now" is read anew for every message, as the walk may cross a second.
    const auto youngEnough = [max_age](long long timestamp) {
        return max_age >= Clock::now() - timestamp;
    };

    // Merged order: the unsaved messages, then the JSON log's, oldest first. Nothing is turned
    // into JSON: a session listing costs what the session holds, a full one no tree of years.
    std::vector<Listed> selected;
    if (history != nullptr)
        for (const LogEntry* entry : *history)
        {
            if (selected.size() >= max_num)
                break;
            if (max_age < 0 || youngEnough(entry->timestamp))
                selected.push_back({std::make_shared<const LogEntry>(*entry), nullptr});
        }
    for (std::size_t i = 0; i < saveFileCache.Size() && selected.size() < max_num; i++)
    {
        const SavedLog::Message& saved = saveFileCache[i];
        if (max_age < 0)
            selected.push_back({nullptr, saveFileCache.Share(i)});
        else if (saved.other == nullptr)
        {
            if (youngEnough(saved.entry.timestamp))
                selected.push_back({nullptr, saveFileCache.Share(i)});
        }
        else
        {
            // A non-object in the JSON log throws here; the HTTP layer answers it with 500.
            const JsonBlock& object = saved.other->GetJsonData();
            if (object.DoesExist("timestamp") && object.Get("timestamp").GetDataType() == INT &&
                youngEnough(object.Get("timestamp").GetIntData()))
                selected.push_back({nullptr, saveFileCache.Share(i)});
        }
    }

    // In the order of the array sort by "timestamp", newest first, as their JSON would be sorted.
    std::vector<JsonData> stamps;
    stamps.reserve(selected.size());
    std::vector<const JsonData*> sortValues;
    sortValues.reserve(selected.size());
    for (const Listed& listed : selected)
    {
        const LogEntry* plain = listed.entry != nullptr ? listed.entry.get() : listed.saved->other == nullptr ? &listed.saved->entry : nullptr;
        if (plain != nullptr)
        {
            stamps.emplace_back(static_cast<long long>(plain->timestamp));
            sortValues.push_back(&stamps.back());
        }
        else
        {
            const bool holds = listed.saved->other->GetDataType() == JSON &&
                               listed.saved->other->GetJsonData().DoesExist("timestamp");
            sortValues.push_back(holds ? &listed.saved->other->GetJsonData().Get("timestamp") : nullptr);
        }
    }
    std::vector<Listed> ordered;
    ordered.reserve(selected.size());
    for (const std::size_t place : JsonArray::SortOrder(sortValues, NUMERICAL_DESCENDING))
        ordered.push_back(selected[place]);
    return ordered;
}

namespace
{
    // What a query looks at in one message.
    struct Seen
    {
        int64_t timestamp = 0;
        int64_t type = -1;
        std::string_view message;
    };

    Seen SeenIn(const LogEntry& entry)
    {
        return {entry.timestamp, entry.type, entry.message};
    }

    Seen SeenIn(const SavedLog::Message& saved)
    {
        if (saved.other == nullptr)
            return SeenIn(saved.entry);
        Seen seen;
        if (saved.other->GetDataType() != JSON)
            return seen;
        const JsonBlock& object = saved.other->GetJsonData();
        if (object.DoesExist("timestamp") && object.Get("timestamp").GetDataType() == INT)
            seen.timestamp = object.Get("timestamp").GetIntData();
        if (object.DoesExist("type") && object.Get("type").GetDataType() == INT)
            seen.type = object.Get("type").GetIntData();
        if (object.DoesExist("message") && object.Get("message").GetDataType() == STRING)
            seen.message = object.Get("message").GetStringData();
        return seen;
    }
}

LogPage LogHistory::QueryLogs(const LogQuery& query)
{
    const TextSearch search(query.search);
    // (timestamp, place in the merged order: saved messages oldest first, then unsaved ones)
    std::vector<std::pair<int64_t, size_t>> matches;
    const auto consider = [&](const Seen& seen, size_t place) {
        if (seen.timestamp < query.since || !search.IsIn(seen.message))
            return;
        if (!query.types.empty() && std::find(query.types.begin(), query.types.end(), seen.type) == query.types.end())
            return;
        matches.emplace_back(seen.timestamp, place);
    };
    const size_t saved = saveFileCache.Size();
    for (size_t i = 0; i < saved; i++)
        consider(SeenIn(saveFileCache[i]), i);
    if (history != nullptr)
        for (size_t i = 0; i < history->size(); i++)
            consider(SeenIn(*(*history)[i]), saved + i);

    LogPage page;
    page.total = matches.size();
    const size_t first = std::min(query.offset, matches.size());
    const size_t last = first + std::min(query.limit, matches.size() - first);
    const auto before = [oldestFirst = query.oldestFirst](const auto& a, const auto& b) {
        return oldestFirst ? a < b : a > b;
    };
    if (first > 0)
        std::nth_element(matches.begin(), matches.begin() + first, matches.end(), before);
    std::partial_sort(matches.begin() + first, matches.begin() + last, matches.end(), before);
    for (size_t i = first; i < last; i++)
    {
        const size_t place = matches[i].second;
        if (place < saved)
            saveFileCache[place].AppendTo(page.logs);
        else
            page.logs.Add((*history)[place - saved]->GetAsJson());
    }
    return page;
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
