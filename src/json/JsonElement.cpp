#include "json/JsonElement.h"
#include "json/JsonParser.h"
#include "json/StringHelpers.h"
#include <utility>

namespace Ostrel
{
    JsonElement::JsonElement(std::string label) : data(new JsonData()), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, bool value) : data(new JsonData(value)), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, int value) : data(new JsonData(value)), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, long long value) : data(new JsonData(value)), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, double value) : data(new JsonData(value)), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, long double value) : data(new JsonData(value)), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, std::string value)
        : data(new JsonData(std::move(value))), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, const char* value) : data(new JsonData(value)), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, JsonData value)
        : data(new JsonData(std::move(value))), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, JsonBlock value)
        : data(new JsonData(std::move(value))), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, JsonArray value)
        : data(new JsonData(std::move(value))), label(std::move(label)) {}
    JsonElement::JsonElement(std::string label, std::vector<JsonData> items)
        : data(new JsonData(std::move(items))), label(std::move(label)) {}
    JsonElement::JsonElement(const JsonElement& other) : data(new JsonData(*other.data)), label(other.label) {}
    JsonElement::JsonElement(std::string label, JsonData* adopted) : data(adopted), label(std::move(label)) {}

    JsonElement::JsonElement(JsonElement&& other)
        : data(std::exchange(other.data, new JsonData())), label(std::move(other.label))
    {
        data->parent = nullptr;
    }

    JsonElement& JsonElement::operator=(const JsonElement& other)
    {
        data->CloneFrom(*other.data);
        label = other.label;
        return *this;
    }

    JsonElement& JsonElement::operator=(JsonElement&& other)
    {
        *data = std::move(*other.data);
        label = std::move(other.label);
        return *this;
    }

    JsonElement::~JsonElement()
    {
        delete data;
    }

    std::string JsonElement::GetLabel() const
    {
        return label;
    }

    JsonData* JsonElement::GetData()
    {
        return data;
    }

    const JsonData* JsonElement::GetData() const
    {
        return data;
    }

    void JsonElement::SetJsonDataPointer(JsonData* value)
    {
        if (value == data)
            return;
        delete data;
        data = value;
    }

    void JsonElement::Parse(std::string text)
    {
        Internal::JsonParser::ParseElement(*this, text);
    }

    std::string JsonElement::Render(unsigned int depth, bool minify) const
    {
        std::string text;
        RenderTo(text, depth, minify);
        return text;
    }

    void JsonElement::RenderTo(std::string& out, unsigned int depth, bool minify) const
    {
        RenderLabelTo(out, depth, minify);
        data->RenderTo(out, depth, minify);
    }

    void JsonElement::RenderLabelTo(std::string& out, unsigned int depth, bool minify) const
    {
        RenderLabelTo(out, label, depth, minify);
    }

    void JsonElement::RenderLabelTo(std::string& out, std::string_view label, unsigned int depth, bool minify)
    {
        if (!minify)
            out.append(2 * static_cast<std::size_t>(depth), ' ');
        out += '"';
        Internal::StringHelpers::AppendEscaped(out, label);
        out += minify ? "\":" : "\": ";
    }
}
