#pragma once
#include <ostream>
#include <string>
#include <string_view>
#include <vector>
#include "json/JsonDataType.h"

namespace Ostrel
{
    class JsonBlock;
    class JsonArray;
    class JsonElement;
    namespace Internal
    {
        class JsonParser;
    }

    // The smallest float precision a value can be given.
    constexpr double OSTREL_FLOAT_MAX_PRECISION = 1e-28;

    // One JSON value of any type. It owns the block or array it holds, and every copy
    // is deep. `parent` points (without owning) at the value whose block or array holds
    // this one; it carries the float precision down the tree.
    class JsonData
    {
    public:
        JsonData();
        JsonData(JSON_DATA_TYPE type); // the zero value of `type`; JSON and ARRAY get empty containers
        JsonData(bool value);
        JsonData(int value);
        JsonData(long long value);
        JsonData(double value);
        JsonData(long double value);
        JsonData(std::string value);
        JsonData(const char* value);
        JsonData(JsonBlock value);
        JsonData(JsonArray value);
        JsonData(std::vector<JsonData> items); // an ARRAY of the items
        JsonData(const JsonData& other);
        // Takes `other`'s value (its block or array without copying), which becomes NULL_.
        JsonData(JsonData&& other) noexcept;
        ~JsonData();

        // Setting a scalar keeps a held block or array allocated (unreachable) until a
        // new one replaces it or the value is destroyed.
        void SetNull();
        void SetBoolData(bool value);
        void SetIntData(long long value);
        void SetIntData(int value);
        void SetFloatData(long double value);
        void SetStringData(std::string value);
        // Take ownership of `block` / `array` without copying (it must not be null) and
        // delete the one held so far. Return the argument.
        JsonBlock* SetJsonDataAsPointer(JsonBlock* block);
        JsonArray* SetArrayDataAsPointer(JsonArray* array);
        void SetJsonData(JsonBlock value);
        void SetArrayData(JsonArray value);
        void SetArrayData(std::vector<JsonData> items);
        // Clamped to [OSTREL_FLOAT_MAX_PRECISION, 1.0], with a warning on stdout when clamped.
        void SetFloatPrecision(double precision);

        JSON_DATA_TYPE GetDataType() const;
        bool IsOfNumericType() const; // INT or FLOAT
        // The typed getters throw JsonWrongDataTypeException on another type. INT and
        // FLOAT convert into each other; a FLOAT read as INT is truncated toward zero.
        bool GetBoolData() const;
        long long GetIntData() const;
        long double GetFloatData() const;
        std::string GetStringData() const;
        JsonBlock& GetJsonData();
        const JsonBlock& GetJsonData() const;
        JsonArray& GetArrayData();
        const JsonArray& GetArrayData() const;
        void* GetNullData() const; // nullptr for a NULL_ value
        bool HasParent() const;
        // Throws JsonNoParentAvailableException for a root or free-standing value.
        JsonData& GetParent();
        const JsonData& GetParent() const;
        // Own precision if set, else the parent's, else 1e-7.
        double GetFloatPrecision() const;

        // Deep copy of `src` (float precision included); this value's parent stays.
        void CloneFrom(const JsonData& src);
        void CloneTo(JsonData& dst) const;
        // Same value; an INT and a FLOAT match within the smaller float precision.
        bool IsIdentical(const JsonData& other) const;

        // JSON text of the value; `minify` chooses the compact form over the indented
        // one, `depth` is the nesting level of the line the text starts on. A FLOAT is
        // written in plain decimals that read back as the same value, or rounded to the
        // significant digits of a float precision set on it or an ancestor.
        std::string Render(bool minify) const;
        std::string Render(unsigned int depth, bool minify) const;
        // Appends the same text to `out`: one buffer for a whole document.
        void RenderTo(std::string& out, unsigned int depth, bool minify) const;
        // Append what a STRING, INT or BOOL holding the value renders as.
        static void RenderTextTo(std::string& out, std::string_view text);
        static void RenderIntegerTo(std::string& out, long long number);
        static void RenderBoolTo(std::string& out, bool value);

        // Replaces the value with the one that JSON `text` holds. Bad text raises a
        // JsonParsing...Exception and leaves the value as it was.
        void Parse(std::string text);
        // Parse and IsJsonValid in one pass: false, with the value left as it was, for a
        // text that IsJsonValid refuses.
        bool TryParse(std::string_view text);

        // Both keep this value's parent, as CloneFrom does. Moving an ancestor into one of
        // its own descendants copies it instead.
        JsonData& operator=(const JsonData& other);
        JsonData& operator=(JsonData&& other);
        JsonData& operator=(bool value);
        JsonData& operator=(int value);
        JsonData& operator=(long long value);
        JsonData& operator=(double value);
        JsonData& operator=(long double value);
        JsonData& operator=(std::string value);
        JsonData& operator=(const char* value);
        JsonData& operator=(JsonBlock value);
        JsonData& operator=(JsonArray value);
        JsonData& operator=(std::vector<JsonData> items);

        // Member of a JSON value: created as NULL_ when missing; the const form throws
        // JsonLabelDoesNotExistException instead.
        JsonData& operator[](std::string label);
        JsonData& operator[](const char* label);
        const JsonData& operator[](std::string label) const;
        const JsonData& operator[](const char* label) const;
        // Item of an ARRAY value.
        JsonData& operator[](unsigned long index);
        JsonData& operator[](int index);
        const JsonData& operator[](unsigned long index) const;
        const JsonData& operator[](int index) const;

        // Adds a member to a JSON value; returns the new member's value.
        JsonData& operator+=(JsonElement element);

        bool operator==(const JsonData& other) const;
        bool operator!=(const JsonData& other) const;

        operator bool() const;
        operator int() const; // low 32 bits
        operator long() const;
        operator long long() const;
        operator float() const;
        operator double() const;
        operator long double() const;
        // A STRING gives its raw text; any other value its indented JSON text.
        operator std::string() const;

    private:
        void Init();
        // This value's content becomes `src`'s, which is left NULL_; parent and float
        // precision stay. `src` may lie inside this value, but not this value inside `src`.
        void TakeContent(JsonData& src);
        bool IsInside(const JsonData& ancestor) const;
        // The precision set on this value or on the nearest ancestor with one; -1 if none is.
        double ExplicitFloatPrecision() const;
        [[noreturn]] void ThrowDataTypeException(JSON_DATA_TYPE requested) const;

        long long intData;
        long double floatData;
        std::string stringData;
        JsonBlock* jsonData;
        JsonArray* arrayData;
        JSON_DATA_TYPE dataType;
        JsonData* parent;
        double customFloatPrecision;

        // The containers set the parent links of the values they hold; the parser fills
        // values in place.
        friend class JsonBlock;
        friend class JsonArray;
        friend class JsonElement;
        friend class Internal::JsonParser;
    };

    // The same text as the std::string conversion.
    std::ostream& operator<<(std::ostream& os, const JsonData& data);

    // True when JsonData::Parse of `text` raises no JsonException.
    bool IsJsonValid(std::string text);
}

// The model's classes are used together: any one of their headers gives all four.
#include "json/JsonArray.h"
#include "json/JsonBlock.h"
#include "json/JsonElement.h"
