#include "logging/SavedLog.h"
#include <algorithm>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include "app/FileSystem.h"

using namespace Logging;
using namespace Ostrel;

namespace
{
    // The rendering of a non-empty array ends in this: its items can be appended before it.
    const std::string arrayEnd = "\n]";

    std::string ReadBytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
}

void SavedLog::Message::AppendTo(JsonArray& array) const
{
    if (other != nullptr)
        array.Add(*other);
    else
        array.Add(entry.GetAsJson());
}

void SavedLog::Load(const std::string& path)
{
    messages.clear();
    written.reset();
    if (!FileSystem::Exists(path))
        return;

    const std::optional<FileVersion> before = VersionOf(path);
    const std::string bytes = ReadBytes(path);
    // Read as FileSystem::ReadFile reads: line ends are no part of the JSON log's text.
    std::string text = bytes;
    std::erase(text, '\n');
    JsonData parsed;
    if (!parsed.TryParse(text) || parsed.GetDataType() != ARRAY)
        return;

    const JsonArray& values = parsed.GetArrayData();
    messages.resize(values.Size());
    for (std::size_t i = 0; i < values.Size(); i++)
        if (!LogEntry::FromJson(values.At(i), messages[i].entry))
            messages[i].other = std::make_unique<JsonData>(values.At(i));

    // A file written by hand or by another program is rewritten whole at the next save.
    if (before.has_value() && VersionOf(path) == before && values.Render(0, false) == bytes)
    {
        written = before;
        writtenPath = path;
    }
}

bool SavedLog::Append(const std::string& path, std::vector<LogEntry*>& entries)
{
    if (!written.has_value() || writtenPath != path || VersionOf(path) != written)
        Load(path);

    const bool keepOldBytes = written.has_value() && !messages.empty();
    std::string tail;
    if (keepOldBytes && !entries.empty())
    {
        JsonArray fresh;
        for (const LogEntry* entry : entries)
            fresh.Add(entry->GetAsJson());
        // "[\n  {new},\n  {newer}\n]" continues "[\n  {old}" as ",\n  {new},\n  {newer}\n]".
        tail = ",\n" + fresh.Render(0, false).substr(2);
    }
    for (LogEntry* entry : entries)
        messages.push_back(Message{std::move(*entry), nullptr});

    bool saved = true;
    if (!keepOldBytes)
        saved = FileSystem::WriteFile(path, RenderAll());
    else if (!tail.empty())
        saved = FileSystem::WriteFileKeepingPrefix(
            path, static_cast<uint64_t>(written->size) - arrayEnd.size(), tail);
    written = saved ? VersionOf(path) : std::nullopt;
    writtenPath = path;
    return saved;
}

void SavedLog::Clear()
{
    messages.clear();
    written.reset();
}

std::string SavedLog::RenderAll() const
{
    JsonArray all;
    for (const Message& message : messages)
        message.AppendTo(all);
    return all.Render(0, false);
}

std::optional<SavedLog::FileVersion> SavedLog::VersionOf(const std::string& path)
{
    struct stat info{};
    if (stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileVersion{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                       static_cast<int64_t>(info.st_size),
                       static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}
