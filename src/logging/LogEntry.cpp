#include "logging/LogEntry.h"
#include "json/Json.h"

using namespace Ostrel;

JsonBlock Logging::LogEntry::GetAsJson() const
{
    JsonBlock json;
    json.Set("compiledMessage") = compiledMessage;
    json.Set("message") = message;
    json.Set("identifier") = identifier;
    json.Set("additional_information") = additional_information;
    json.Set("type") = static_cast<int>(type);
    json.Set("timestamp") = static_cast<long long>(timestamp);
    return json;
}

bool Logging::LogEntry::FromJson(const JsonData& value, LogEntry& entry)
{
    if (value.GetDataType() != JSON)
        return false;
    const JsonBlock& object = value.GetJsonData();
    const auto has = [&object](const char* label, JSON_DATA_TYPE type) {
        return object.DoesExist(label) && object.Get(label).GetDataType() == type;
    };
    if (object.GetNumElements() != 6 || !has("compiledMessage", STRING) || !has("message", STRING) ||
        !has("identifier", STRING) || !has("additional_information", STRING) || !has("type", INT) ||
        !has("timestamp", INT))
        return false;
    const long long type = object.Get("type").GetIntData();
    if (type < INT32_MIN || type > INT32_MAX)
        return false;

    entry.compiledMessage = object.Get("compiledMessage").GetStringData();
    entry.message = object.Get("message").GetStringData();
    entry.identifier = object.Get("identifier").GetStringData();
    entry.additional_information = object.Get("additional_information").GetStringData();
    entry.type = static_cast<LOG_TYPE>(type);
    entry.timestamp = object.Get("timestamp").GetIntData();
    return true;
}
