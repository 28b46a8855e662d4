#include "support/LogCapture.h"
#include "logging/LogHistory.h"

namespace TestSupport
{
    std::vector<Logging::LogEntry> EntriesOf(const std::string& identifier)
    {
        std::vector<Logging::LogEntry> entries;
        if (Logging::LogHistory::history != nullptr)
            for (const Logging::LogEntry* entry : *Logging::LogHistory::history)
                if (entry->identifier == identifier)
                    entries.push_back(*entry);
        return entries;
    }

    std::vector<std::string> MessagesOf(const std::string& identifier)
    {
        std::vector<std::string> messages;
        for (const Logging::LogEntry& entry : EntriesOf(identifier))
            messages.push_back(entry.message);
        return messages;
    }
}
