#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "json/Json.h"
#include "logging/LogEntry.h"

namespace Logging
{
    // The messages of the JSON log, oldest first, held as records instead of JSON trees,
    // and the file they are saved in. A value of the file that is not a plain log object
    // is kept as it was read, so that it is listed and written back unchanged.
    class SavedLog
    {
    public:
        // One value of the JSON log.
        struct Message
        {
            LogEntry entry;                           // a plain log object, when `other` is null
            std::unique_ptr<Ostrel::JsonData> other;  // anything else, as read

            // Appends the message's JSON form to `array`.
            void AppendTo(Ostrel::JsonArray& array) const;
            // Appends its indented rendering at `depth` to `out`.
            void RenderTo(std::string& out, unsigned int depth) const;
        };

        // Replaces the messages with those of the JSON log at `path`; a missing file, text
        // that is not JSON and JSON that is not an array count as empty.
        void Load(const std::string& path);
        // Appends the entries (their content moves here) and writes the JSON log at `path`
        // atomically as the indented rendering of every message. While the file is the one
        // this log last read or wrote in that form, only the new messages are rendered and
        // the old bytes are copied; otherwise the file is read again first, since it is the
        // record. False when it could not be written: the messages stay here all the same,
        // and the next save reads the file again.
        bool Append(const std::string& path, std::vector<LogEntry*>& entries);
        void Clear();

        std::size_t Size() const { return messages.size(); }
        const Message& operator[](std::size_t index) const { return *messages[index]; }
        // The message itself, for a listing that is sent after the log has changed.
        const std::shared_ptr<const Message>& Share(std::size_t index) const { return messages[index]; }

    private:
        // Tells one version of a file from another without reading it.
        struct FileVersion
        {
            uint64_t device = 0;
            uint64_t inode = 0;
            int64_t size = 0;
            int64_t modifiedNanoseconds = 0;
            bool operator==(const FileVersion&) const = default;
        };
        static std::optional<FileVersion> VersionOf(const std::string& path);
        std::string RenderAll() const;
        // Whether the file at `path` holds exactly RenderAll(), found without that text.
        bool IsRenderedIn(const std::string& path) const;

        std::vector<std::shared_ptr<const Message>> messages;
        // The file as this log last read or wrote it, while its bytes are exactly the
        // indented rendering of `messages`.
        std::optional<FileVersion> written;
        std::string writtenPath;
    };
}
