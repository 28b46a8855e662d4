// libFuzzer harness for the settings a client sends with update_config. The first byte picks a
// setting, the rest is its value (a JSON value when it parses as one, else a string); the value
// goes through the same check and load as a client's change, and the document is rendered
// again. A crash, a stack overflow or a hang is the fault; refusals are expected.
#include <cstdint>
#include <string>
#include "config/SettingsTable.h"
#include "config/XGConfig.h"
#include "json/Json.h"

using namespace Ostrel;

namespace
{
    // {"a": {"b": value}} for the path "a.b".
    JsonBlock Nested(const std::string& path, const JsonData& value)
    {
        const size_t dot = path.find('.');
        JsonBlock block;
        if (dot == std::string::npos)
            block.Set(path) = value;
        else
            block.Set(path.substr(0, dot)) = Nested(path.substr(dot + 1), value);
        return block;
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    XGConfig::PreInit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const auto& settings = SettingsTable::All();
    const Setting& setting = settings[data[0] % settings.size()];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    JsonData value;
    if (!value.TryParse(text))
        value = JsonData(text);
    JsonBlock changes = Nested(setting.path, value);
    XGConfig::RefuseClientChanges(changes);
    XGConfig::LoadFromJson(changes);
    XGConfig::CreateJson().Render(0, false);
    XGConfig::LoadDefaultValues();
    return 0;
}
