// libFuzzer harness for the JSON parser: every input is parsed; a valid text must
// render in both forms and the rendering must parse back into a fixed point of
// render and parse. Any violation aborts, so the fuzzer reports it as a crash.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include "json/Json.h"

using namespace Ostrel;

namespace
{
    void Require(bool condition)
    {
        if (!condition)
            std::abort();
    }

    // Text that need not survive one render and parse unchanged: floats (1e+20 and
    // 1e-05 render in a form the parser refuses) and backslash text, whose "\uXXXX"
    // escape text the parser lower-cases, so that two labels can become one.
    bool HasLossyText(const JsonData& value)
    {
        switch (value.GetDataType())
        {
        case FLOAT: return true;
        case STRING: return value.GetStringData().find('\\') != std::string::npos;
        case JSON:
        {
            const std::unique_ptr<std::vector<JsonElement*>> members(value.GetJsonData().GetElementsSortedByLabel());
            for (const JsonElement* member : *members)
                if (member->GetLabel().find('\\') != std::string::npos || HasLossyText(*member->GetData()))
                    return true;
            return false;
        }
        case ARRAY:
            for (const JsonData* item : *value.GetArrayData().GetVector())
                if (HasLossyText(*item))
                    return true;
            return false;
        default: return false;
        }
    }

    void CheckRoundTrip(const JsonData& parsed, bool minify)
    {
        const std::string rendered = parsed.Render(minify);
        JsonData again;
        try
        {
            again.Parse(rendered);
        }
        catch (const JsonException&)
        {
            Require(HasLossyText(parsed));
            return;
        }
        const std::string second = again.Render(minify);
        JsonData third;
        third.Parse(second);
        Require(third.Render(minify) == second);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    JsonData parsed;
    try
    {
        parsed.Parse(text);
    }
    catch (const JsonException&)
    {
        Require(!IsJsonValid(text));
        return 0;
    }
    Require(IsJsonValid(text));

    CheckRoundTrip(parsed, false);
    CheckRoundTrip(parsed, true);

    JsonData copy(parsed);
    Require(copy.IsIdentical(parsed) && copy.Render(true) == parsed.Render(true));
    return 0;
}
