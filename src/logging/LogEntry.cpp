#include "logging/LogEntry.h"
#include "json/Json.h"

using namespace Ostrel;

JsonBlock Logging::LogEntry::GetAsJson() const
{
    JsonBlock json;
    json.Add(JsonElement("compiledMessage", compiledMessage));
    json.Add(JsonElement("message", message));
    json.Add(JsonElement("identifier", identifier));
    json.Add(JsonElement("additional_information", additional_information));
    json.Add(JsonElement("type", static_cast<int>(type)));
    json.Add(JsonElement("timestamp", static_cast<long long>(timestamp)));
    return json;
}
