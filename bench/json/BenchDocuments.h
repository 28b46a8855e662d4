#pragma once
// Documents of the sizes the server meets with years of history: the cache index, the
// JSON log and a hostile request body.
#include <string>
#include "json/Json.h"

namespace BenchDocuments
{
    // `count` records shaped like the entries of index.json, oldest first.
    inline Ostrel::JsonArray IndexEntries(int count)
    {
        using Ostrel::JsonBlock;
        using Ostrel::JsonElement;
        Ostrel::JsonArray entries;
        for (int i = 0; i < count; i++)
        {
            const std::string n = std::to_string(i);
            JsonBlock entry;
            entry.Add(JsonElement("title", "Video number " + n + " \xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \"live\""));
            entry.Add(JsonElement("description", "A description of video " + n +
                                                     " that runs over a few lines.\nIt has links, "
                                                     "https://videos.example/channel/" + n +
                                                     ", and mentions the uploader twice: Uploader " + n + "."));
            entry.Add(JsonElement("uploader", "Uploader " + std::to_string(i % 97)));
            entry.Add(JsonElement("duration", 60 + i % 3600));
            entry.Add(JsonElement("pelko_id", "1X" + n));
            entry.Add(JsonElement("webpage_url", "https://videos.example/watch?v=" + n));
            entry.Add(JsonElement("thumbnail_url", "https://i.videos.example/vi/" + n + "/hqdefault.jpg"));
            entry.Add(JsonElement("download_progress", 100));
            entry.Add(JsonElement("downloaded_filename", "dlcache/download/1X" + n + ".mp4"));
            entry.Add(JsonElement("download_url", "/download/1X" + n));
            entry.Add(JsonElement("queued_timestamp", 1700000000LL + i * 37 % 100000));
            entry.Add(JsonElement("mode", i % 3 == 0 ? "audio" : "video"));
            entry.Add(JsonElement("status", "finished"));
            entries.Add(entry);
        }
        return entries;
    }

    // `count` records shaped like the messages of log.json.
    inline Ostrel::JsonArray LogMessages(int count)
    {
        using Ostrel::JsonBlock;
        using Ostrel::JsonElement;
        Ostrel::JsonArray messages;
        for (int i = 0; i < count; i++)
        {
            const std::string text = "Fetching disk usage... (" + std::to_string(i) + ")";
            JsonBlock message;
            message.Add(JsonElement("message", text));
            message.Add(JsonElement("identifier", "RestQueryHandler"));
            message.Add(JsonElement("additional_information", "@127.0.0.1"));
            message.Add(JsonElement("compiledMessage", "<10.12.2026 - 01:03:38> [RestQueryHandler] @127.0.0.1: " + text));
            message.Add(JsonElement("timestamp", 1796864618LL + i / 3));
            message.Add(JsonElement("type", i % 3));
            messages.Add(message);
        }
        return messages;
    }

    // A request body of about `size` bytes nested `depth` levels deep (the object and
    // depth - 1 arrays), its bulk at the bottom, where a parser that rescans each level
    // pays the most.
    inline std::string NestedBody(std::size_t size, int depth)
    {
        std::string text = "{\"request\": \"foo\", \"payload\": ";
        text.append(depth - 2, '[');
        text += "[0";
        const std::size_t closing = depth;
        while (text.size() + closing + 6 < size)
            text += ", 1234";
        text.append(depth - 1, ']');
        text += "}";
        return text;
    }
}
