#pragma once
#include <cstdint>
#include <string>

namespace Ostrel
{
    class JsonBlock;
    class JsonData;
}

namespace Logging
{
    // Severity of one message; the values are stored in the JSON log.
    enum LOG_TYPE : int32_t
    {
        LOG = 0,
        WARN = 1,
        ERR = 2
    };

    // One flushed message, as printed and as kept by the log history.
    class LogEntry
    {
    public:
        std::string compiledMessage;        // the console line without its line end
        std::string message;                // the bare text the caller wrote
        std::string identifier;             // the logger's name
        std::string additional_information; // e.g. "@127.0.0.1"; empty when none
        LOG_TYPE type = LOG;
        int64_t timestamp = 0;              // seconds since the epoch, same reading as the line's time

        // The entry as one object of the JSON log and of the log queries.
        Ostrel::JsonBlock GetAsJson() const;
        // Appends the rendering of GetAsJson() at `depth` without building it: the log is
        // written and listed in tens of thousands of these.
        void AppendJsonTo(std::string& out, unsigned int depth) const;
        // Takes `value` when it is exactly such an object: the six members with their JSON
        // types and a type that fits, so that GetAsJson() gives it back unchanged.
        static bool FromJson(const Ostrel::JsonData& value, LogEntry& entry);

    private:
        template <typename Visit>
        void VisitMembers(Visit visit) const;
    };
}
