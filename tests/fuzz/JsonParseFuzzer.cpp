// libFuzzer harness for the JSON parser. Every input is parsed, and read exactly as the
// plain splitter of tests/json/SplitterOracle.h reads it (value, or exception and message);
// TryParse and IsJsonValid agree. For a valid text t the value must survive rendering:
// parse(render(parse(t))) equals parse(t), in both forms, and the rendering is a fixed point
// of parse and render. Any violation aborts, so the fuzzer reports it as a crash.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <typeinfo>
#include "SplitterOracle.h"
#include "json/Json.h"

using namespace Ostrel;

namespace
{
    void Require(bool condition)
    {
        if (!condition)
            std::abort();
    }

    // The same JSON value: equal strings, numbers of exactly the same value (a FLOAT
    // without a fraction reads back as an INT), members matched by label, items in order.
    bool Same(const JsonData& a, const JsonData& b)
    {
        if (a.IsOfNumericType() && b.IsOfNumericType())
            return a.GetFloatData() == b.GetFloatData() &&
                   (a.GetDataType() == b.GetDataType() || a.GetDataType() == FLOAT);
        if (a.GetDataType() != b.GetDataType())
            return false;
        switch (a.GetDataType())
        {
        case NULL_: return true;
        case BOOL: return a.GetBoolData() == b.GetBoolData();
        case STRING: return a.GetStringData() == b.GetStringData();
        case JSON:
        {
            const JsonBlock& x = a.GetJsonData();
            const JsonBlock& y = b.GetJsonData();
            if (x.GetNumElements() != y.GetNumElements())
                return false;
            const std::unique_ptr<std::vector<JsonElement*>> members(x.GetElementsSortedByLabel());
            for (const JsonElement* member : *members)
                if (!y.DoesExist(member->GetLabel()) || !Same(*member->GetData(), y.Get(member->GetLabel())))
                    return false;
            return true;
        }
        case ARRAY:
        {
            const std::vector<JsonData*>& x = *a.GetArrayData().GetVector();
            const std::vector<JsonData*>& y = *b.GetArrayData().GetVector();
            if (x.size() != y.size())
                return false;
            for (std::size_t i = 0; i < x.size(); i++)
                if (!Same(*x[i], *y[i]))
                    return false;
            return true;
        }
        default: return false;
        }
    }

    void CheckRoundTrip(const JsonData& parsed, bool minify)
    {
        const std::string rendered = parsed.Render(minify);
        JsonData again;
        again.Parse(rendered);
        Require(Same(parsed, again));
        Require(again.Render(minify) == rendered);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    JsonData parsed;
    std::string error;
    try
    {
        parsed.Parse(text);
    }
    catch (const JsonException& e)
    {
        error = std::string(typeid(e).name()) + e.what();
    }
    JsonData oracle;
    std::string oracleError;
    try
    {
        oracle = SplitterOracle::Parse(text);
    }
    catch (const JsonException& e)
    {
        oracleError = std::string(typeid(e).name()) + e.what();
    }
    Require(error == oracleError);
    JsonData tried;
    Require(tried.TryParse(text) == error.empty() && IsJsonValid(text) == error.empty());
    if (!error.empty())
        return 0;
    Require(Same(parsed, oracle) && parsed.Render(false) == oracle.Render(false) && Same(tried, parsed));

    CheckRoundTrip(parsed, false);
    CheckRoundTrip(parsed, true);

    JsonData copy(parsed);
    Require(copy.IsIdentical(parsed) && copy.Render(true) == parsed.Render(true));
    return 0;
}
