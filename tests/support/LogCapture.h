#pragma once
#include <string>
#include <vector>
#include "logging/LogEntry.h"

namespace TestSupport
{
    // The messages of one logger in the in-memory history, in flush order.
    std::vector<std::string> MessagesOf(const std::string& identifier);
    // The entries of one logger in the in-memory history, in flush order.
    std::vector<Logging::LogEntry> EntriesOf(const std::string& identifier);
}
