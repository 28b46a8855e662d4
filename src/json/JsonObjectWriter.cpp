#include "json/JsonObjectWriter.h"
#include "json/JsonData.h"
#include "json/JsonElement.h"

namespace Ostrel
{
    JsonObjectWriter::JsonObjectWriter(std::string& out, unsigned int depth, bool minify)
        : out(out), depth(depth), minify(minify)
    {
    }

    void JsonObjectWriter::Label(std::string_view label)
    {
        if (empty)
            out += minify ? "{" : "{\n";
        else
            out += minify ? "," : ",\n";
        empty = false;
        JsonElement::RenderLabelTo(out, label, depth + 1, minify);
    }

    void JsonObjectWriter::Member(std::string_view label, std::string_view text)
    {
        Label(label);
        JsonData::RenderTextTo(out, text);
    }

    void JsonObjectWriter::Member(std::string_view label, long long number)
    {
        Label(label);
        JsonData::RenderIntegerTo(out, number);
    }

    void JsonObjectWriter::Member(std::string_view label, bool value)
    {
        Label(label);
        JsonData::RenderBoolTo(out, value);
    }

    void JsonObjectWriter::End()
    {
        if (empty)
        {
            out += "{}";
            return;
        }
        if (!minify)
        {
            out += '\n';
            out.append(2 * static_cast<std::size_t>(depth), ' ');
        }
        out += '}';
    }
}
