#include "logging/SavedLog.h"
#include <algorithm>
#include <memory>
#include <fstream>
#include <sys/stat.h>
#include "app/FileSystem.h"

using namespace Logging;
using namespace Ostrel;

namespace
{
    // The rendering of a non-empty array ends in this: its items can be appended before it.
    const std::string arrayEnd = "\n]";
    // How much of a rendering is compared with its file at a time.
    constexpr std::size_t comparedPiece = 64 * 1024;
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
        entry.AppendJsonTo(out, depth);
}

void SavedLog::Load(const std::string& path)
{
    messages.clear();
    written.reset();
    if (!FileSystem::Exists(path))
        return;

    const std::optional<FileVersion> before = VersionOf(path);
    // Read as FileSystem::ReadFile reads: line ends are no part of the JSON log's text.
    // A file that cannot be read counts as empty.
    std::string text;
    if (!FileSystem::ReadBytes(path, text))
        text.clear();
    std::erase(text, '\n');
    // Message by message: the log never exists as one tree.
    const JsonArray::ItemsRead read = JsonArray::TryParseItems(
        text,
        [this](JsonData& value) {
            auto message = std::make_shared<Message>();
            if (!LogEntry::FromJson(value, message->entry))
                message->other = std::make_unique<JsonData>(std::move(value));
            messages.push_back(std::move(message));
        },
        [this] { messages.clear(); });
    if (read != JsonArray::ItemsRead::ARRAY)
    {
        messages.clear();
        return;
    }

    // The file is compared with the messages piece by piece, its text let go first: the text,
    // the messages and their rendering at once were the start's peak.
    text = std::string();
    // A file written by hand or by another program is rewritten whole at the next save.
    if (before.has_value() && IsRenderedIn(path) && VersionOf(path) == before)
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
        JsonArray::RenderItemsTo(tail, 0, false, entries.size(), [&entries](std::size_t i, std::string& out, unsigned int depth) {
            entries[i]->AppendJsonTo(out, depth);
        });
        // "[\n  {new},\n  {newer}\n]" continues "[\n  {old}" as ",\n  {new},\n  {newer}\n]".
        tail = ",\n" + tail.substr(2);
    }
    for (LogEntry* entry : entries)
        messages.push_back(std::make_shared<const Message>(Message{std::move(*entry), nullptr}));

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
        messages[i]->RenderTo(out, depth);
    });
    return text;
}

bool SavedLog::IsRenderedIn(const std::string& path) const
{
    std::ifstream in(path, std::ios::binary);
    bool same = in.is_open();
    std::string rendered;
    std::string read;
    // Compares what is rendered so far with the file's next bytes, then lets it go.
    const auto compare = [&] {
        read.resize(rendered.size());
        in.read(read.data(), static_cast<std::streamsize>(rendered.size()));
        same = same && static_cast<std::size_t>(in.gcount()) == rendered.size() && read == rendered;
        rendered.clear();
    };
    // The renderer only ever appends to `rendered`, so a piece compared can be dropped between items.
    JsonArray::RenderItemsTo(rendered, 0, false, messages.size(), [&](std::size_t i, std::string& out, unsigned int depth) {
        if (out.size() >= comparedPiece)
            compare();
        if (same)
            messages[i]->RenderTo(out, depth);
    });
    compare();
    return same && in.peek() == std::ifstream::traits_type::eof();
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
