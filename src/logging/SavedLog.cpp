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

void SavedLog::Message::RenderTo(std::string& out, unsigned int depth) const
{
    if (other != nullptr)
        other->RenderTo(out, depth, false);
    else
        entry.GetAsJson().RenderTo(out, depth, false);
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
    // Message by message: the log never exists as one tree.
    const JsonArray::ItemsRead read = JsonArray::TryParseItems(
        text,
        [this](JsonData& value) {
            Message& message = messages.emplace_back();
            if (!LogEntry::FromJson(value, message.entry))
                message.other = std::make_unique<JsonData>(std::move(value));
        },
        [this] { messages.clear(); });
    if (read != JsonArray::ItemsRead::ARRAY)
    {
        messages.clear();
        return;
    }

    // A file written by hand or by another program is rewritten whole at the next save.
    if (before.has_value() && VersionOf(path) == before && RenderAll() == bytes)
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
    std::string text;
    JsonArray::RenderItemsTo(text, 0, false, messages.size(), [this](std::size_t i, std::string& out, unsigned int depth) {
        messages[i].RenderTo(out, depth);
    });
    return text;
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
