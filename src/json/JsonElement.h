#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace Ostrel
{
    class JsonData;
    class JsonBlock;
    class JsonArray;
    namespace Internal
    {
        class JsonParser;
    }

    // A labelled member of a JSON object. Owns its value, which is never null.
    class JsonElement
    {
    public:
        JsonElement(std::string label); // value NULL_
        JsonElement(std::string label, bool value);
        JsonElement(std::string label, int value);
        JsonElement(std::string label, long long value);
        JsonElement(std::string label, double value);
        JsonElement(std::string label, long double value);
        JsonElement(std::string label, std::string value);
        JsonElement(std::string label, const char* value);
        JsonElement(std::string label, JsonData value);
        JsonElement(std::string label, JsonBlock value);
        JsonElement(std::string label, JsonArray value);
        JsonElement(std::string label, std::vector<JsonData> items);
        JsonElement(const JsonElement& other);
        // Takes `other`'s label and value without copying; `other` is left with a NULL_ value.
        JsonElement(JsonElement&& other);
        JsonElement& operator=(const JsonElement& other); // deep copy
        JsonElement& operator=(JsonElement&& other);
        ~JsonElement();

        std::string GetLabel() const;
        JsonData* GetData();
        const JsonData* GetData() const;
        // Deletes the current value and takes ownership of `value`.
        void SetJsonDataPointer(JsonData* value);

        // `"label": value`, starting with the indentation of `depth` in the indented form.
        std::string Render(unsigned int depth, bool minify) const;
        // Appends the same text to `out`: one buffer for a whole document.
        void RenderTo(std::string& out, unsigned int depth, bool minify) const;
        // Appends only what comes before the value: indentation, the quoted label, the colon.
        void RenderLabelTo(std::string& out, unsigned int depth, bool minify) const;
        static void RenderLabelTo(std::string& out, std::string_view label, unsigned int depth, bool minify);
        // Takes label and value from the JSON text of one member, `"label":value`.
        void Parse(std::string text);

    private:
        // Owns `adopted` from now on.
        JsonElement(std::string label, JsonData* adopted);

        JsonData* data;
        std::string label;

        friend class JsonBlock;
        friend class Internal::JsonParser;
    };
}

#include "json/JsonData.h"
