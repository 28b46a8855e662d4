#include "logging/LogEntry.h"
#include "json/Json.h"

using namespace Ostrel;

template <typename Visit>
void Logging::LogEntry::VisitMembers(Visit visit) const
{
    // In the order they are rendered in (by label), as a writer must meet them.
    visit("additional_information", additional_information);
    visit("compiledMessage", compiledMessage);
    visit("identifier", identifier);
    visit("message", message);
    visit("timestamp", static_cast<long long>(timestamp));
    visit("type", static_cast<long long>(type));
}

JsonBlock Logging::LogEntry::GetAsJson() const
{
    JsonBlock json;
    VisitMembers([&json](const char* label, const auto& value) { json.Add(JsonElement(label, value)); });
    return json;
}

void Logging::LogEntry::AppendJsonTo(std::string& out, unsigned int depth) const
{
    JsonObjectWriter writer(out, depth, false);
    VisitMembers([&writer](const char* label, const auto& value) { writer.Member(label, value); });
    writer.End();
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
