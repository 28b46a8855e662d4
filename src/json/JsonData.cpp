#include "json/JsonData.h"
#include <charconv>
#include <cmath>
#include <iostream>
#include <limits>
#include <utility>
#include "json/Helpers.h"
#include "json/JsonExceptions.h"
#include "json/JsonParser.h"
#include "json/StringHelpers.h"

namespace Ostrel
{
    using Internal::Helpers;

    namespace
    {
        constexpr double defaultFloatPrecision = 0.0000001;

        // Out-of-range floats saturate instead of overflowing the integer (undefined
        // behaviour); NaN reads as 0.
        long long TruncateToInt(long double value)
        {
            if (std::isnan(value))
                return 0;
            if (value >= static_cast<long double>(std::numeric_limits<long long>::max()))
                return std::numeric_limits<long long>::max();
            if (value <= static_cast<long double>(std::numeric_limits<long long>::min()))
                return std::numeric_limits<long long>::min();
            return static_cast<long long>(value);
        }

        // Positional notation of the decimal digits `digits` (no trailing zeros) times ten
        // to the power `exponent` of the first digit. No exponent form: older readers of
        // the files take only plain decimals.
        std::string Positional(bool negative, const std::string& digits, int exponent)
        {
            std::string text = negative ? "-" : "";
            if (exponent < 0)
                return text.append("0.").append(static_cast<std::size_t>(-exponent - 1), '0').append(digits);
            const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() > whole)
                return text.append(digits, 0, whole).append(".").append(digits, whole);
            text.append(digits).append(whole - digits.size(), '0');
            // An integer beyond 64 bits keeps a point, so that it reads back as a FLOAT
            // (and is read at all by readers that take only 64-bit integers); so does a
            // negative zero, which as "-0" would read back as the INT 0.
            long long ignored = 0;
            if (std::from_chars(text.data(), text.data() + text.size(), ignored).ec != std::errc() || text == "-0")
                text += ".0";
            return text;
        }

        // The shortest text that reads back as exactly `value`, or with an explicit float
        // precision, as many significant digits as it asks for. Not-a-number and the
        // infinities have no JSON form; they are written as null, as browsers do.
        std::string RenderFloat(long double value, double explicitPrecision)
        {
            if (!std::isfinite(value))
                return "null";
            char buffer[64];
            const std::to_chars_result written =
                explicitPrecision < 0
                    ? std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific)
                    : std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::scientific,
                                    static_cast<int>(1.0 - std::log10(explicitPrecision)) - 1);
            std::string_view scientific(buffer, static_cast<std::size_t>(written.ptr - buffer));
            const bool negative = scientific.front() == '-';
            if (negative)
                scientific.remove_prefix(1);
            const std::size_t e = scientific.find('e');
            std::string digits(1, scientific.front());
            if (e > 1)
                digits.append(scientific.substr(2, e - 2));
            while (digits.size() > 1 && digits.back() == '0')
                digits.pop_back();
            std::string_view exponentText = scientific.substr(e + 1);
            if (exponentText.front() == '+')
                exponentText.remove_prefix(1);
            int exponent = 0;
            std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
            return Positional(negative, digits, exponent);
        }
    }

    JsonData::JsonData() : parent(nullptr), customFloatPrecision(-1.0)
    {
        Init();
    }

    JsonData::JsonData(JSON_DATA_TYPE type) : JsonData()
    {
        switch (type)
        {
        case BOOL: SetBoolData(false); break;
        case INT: SetIntData(0LL); break;
        case FLOAT: SetFloatData(0.0L); break;
        case STRING: SetStringData(""); break;
        case JSON: SetJsonDataAsPointer(new JsonBlock()); break;
        case ARRAY: SetArrayDataAsPointer(new JsonArray()); break;
        default: break;
        }
    }

    JsonData::JsonData(bool value) : JsonData() { SetBoolData(value); }
    JsonData::JsonData(int value) : JsonData() { SetIntData(value); }
    JsonData::JsonData(long long value) : JsonData() { SetIntData(value); }
    JsonData::JsonData(double value) : JsonData() { SetFloatData(value); }
    JsonData::JsonData(long double value) : JsonData() { SetFloatData(value); }
    JsonData::JsonData(std::string value) : JsonData() { SetStringData(std::move(value)); }
    JsonData::JsonData(const char* value) : JsonData() { SetStringData(value); }
    JsonData::JsonData(JsonBlock value) : JsonData() { SetJsonData(std::move(value)); }
    JsonData::JsonData(JsonArray value) : JsonData() { SetArrayData(std::move(value)); }
    JsonData::JsonData(std::vector<JsonData> items) : JsonData() { SetArrayData(std::move(items)); }
    JsonData::JsonData(const JsonData& other) : JsonData() { CloneFrom(other); }

    JsonData::JsonData(JsonData&& other) noexcept
        : intData(other.intData), floatData(other.floatData), stringData(std::move(other.stringData)),
          jsonData(std::exchange(other.jsonData, nullptr)), arrayData(std::exchange(other.arrayData, nullptr)),
          dataType(std::exchange(other.dataType, NULL_)), parent(nullptr),
          customFloatPrecision(other.customFloatPrecision)
    {
        if (jsonData != nullptr)
            jsonData->SetAssociatedJsonDataNode(this);
        if (arrayData != nullptr)
            arrayData->SetAssociatedJsonDataNode(this);
    }

    JsonData::~JsonData()
    {
        delete arrayData;
        delete jsonData;
    }

    void JsonData::Init()
    {
        dataType = NULL_;
        intData = 0;
        floatData = 0;
        stringData.clear();
        jsonData = nullptr;
        arrayData = nullptr;
    }

    void JsonData::SetNull()
    {
        dataType = NULL_;
    }

    void JsonData::SetBoolData(bool value)
    {
        dataType = BOOL;
        intData = value ? 1 : 0;
    }

    void JsonData::SetIntData(long long value)
    {
        dataType = INT;
        intData = value;
    }

    void JsonData::SetIntData(int value)
    {
        SetIntData(static_cast<long long>(value));
    }

    void JsonData::SetFloatData(long double value)
    {
        dataType = FLOAT;
        floatData = value;
    }

    void JsonData::SetStringData(std::string value)
    {
        dataType = STRING;
        stringData = std::move(value);
    }

    JsonBlock* JsonData::SetJsonDataAsPointer(JsonBlock* block)
    {
        if (block != jsonData)
            delete jsonData;
        jsonData = block;
        dataType = JSON;
        block->SetAssociatedJsonDataNode(this);
        return block;
    }

    JsonArray* JsonData::SetArrayDataAsPointer(JsonArray* array)
    {
        if (array != arrayData)
            delete arrayData;
        arrayData = array;
        dataType = ARRAY;
        array->SetAssociatedJsonDataNode(this);
        return array;
    }

    void JsonData::SetJsonData(JsonBlock value)
    {
        SetJsonDataAsPointer(new JsonBlock(std::move(value)));
    }

    void JsonData::SetArrayData(JsonArray value)
    {
        SetArrayDataAsPointer(new JsonArray(std::move(value)));
    }

    void JsonData::SetArrayData(std::vector<JsonData> items)
    {
        SetArrayDataAsPointer(new JsonArray(std::move(items)));
    }

    void JsonData::SetFloatPrecision(double precision)
    {
        static const std::string warning =
            "[Ostrel] Warning: Please only use float precisions > 0 <= 1! (0.001 would be a precision of 3 decimals) Applying ";
        if (!(precision > 0))
        {
            std::cout << warning << "OSTREL_FLOAT_MAX_PRECISION..." << std::endl;
            precision = OSTREL_FLOAT_MAX_PRECISION;
        }
        else if (precision > 1.0)
        {
            std::cout << warning << "1.0..." << std::endl;
            precision = 1.0;
        }
        customFloatPrecision = precision;
    }

    JSON_DATA_TYPE JsonData::GetDataType() const
    {
        return dataType;
    }

    bool JsonData::IsOfNumericType() const
    {
        return dataType == INT || dataType == FLOAT;
    }

    void JsonData::ThrowDataTypeException(JSON_DATA_TYPE requested) const
    {
        throw JsonWrongDataTypeException(JsonDataType2String(requested), JsonDataType2String(dataType));
    }

    bool JsonData::GetBoolData() const
    {
        if (dataType != BOOL)
            ThrowDataTypeException(BOOL);
        return intData != 0;
    }

    long long JsonData::GetIntData() const
    {
        if (dataType == FLOAT)
            return TruncateToInt(floatData);
        if (dataType != INT)
            ThrowDataTypeException(INT);
        return intData;
    }

    long double JsonData::GetFloatData() const
    {
        if (dataType == INT)
            return static_cast<long double>(intData);
        if (dataType != FLOAT)
            ThrowDataTypeException(FLOAT);
        return floatData;
    }

    std::string JsonData::GetStringData() const
    {
        if (dataType != STRING)
            ThrowDataTypeException(STRING);
        return stringData;
    }

    JsonBlock& JsonData::GetJsonData()
    {
        if (dataType != JSON)
            ThrowDataTypeException(JSON);
        return *jsonData;
    }

    const JsonBlock& JsonData::GetJsonData() const
    {
        if (dataType != JSON)
            ThrowDataTypeException(JSON);
        return *jsonData;
    }

    JsonArray& JsonData::GetArrayData()
    {
        if (dataType != ARRAY)
            ThrowDataTypeException(ARRAY);
        return *arrayData;
    }

    const JsonArray& JsonData::GetArrayData() const
    {
        if (dataType != ARRAY)
            ThrowDataTypeException(ARRAY);
        return *arrayData;
    }

    void* JsonData::GetNullData() const
    {
        if (dataType != NULL_)
            ThrowDataTypeException(NULL_);
        return nullptr;
    }

    bool JsonData::HasParent() const
    {
        return parent != nullptr;
    }

    JsonData& JsonData::GetParent()
    {
        if (parent == nullptr)
            throw JsonNoParentAvailableException();
        return *parent;
    }

    const JsonData& JsonData::GetParent() const
    {
        if (parent == nullptr)
            throw JsonNoParentAvailableException();
        return *parent;
    }

    double JsonData::GetFloatPrecision() const
    {
        const double precision = ExplicitFloatPrecision();
        return precision >= 0 ? precision : defaultFloatPrecision;
    }

    double JsonData::ExplicitFloatPrecision() const
    {
        if (customFloatPrecision >= 0)
            return customFloatPrecision;
        if (parent != nullptr)
            return parent->ExplicitFloatPrecision();
        return -1.0;
    }

    void JsonData::CloneFrom(const JsonData& src)
    {
        // Every copy is taken before anything of this value is released, so `src` may
        // be this value or lie inside it.
        customFloatPrecision = src.customFloatPrecision;
        switch (src.dataType)
        {
        case NULL_: SetNull(); break;
        case BOOL: SetBoolData(src.intData != 0); break;
        case INT: SetIntData(src.intData); break;
        case FLOAT: SetFloatData(src.floatData); break;
        case STRING: SetStringData(src.stringData); break;
        case JSON: SetJsonDataAsPointer(new JsonBlock(*src.jsonData)); break;
        case ARRAY: SetArrayDataAsPointer(new JsonArray(*src.arrayData)); break;
        }
    }

    void JsonData::TakeContent(JsonData& src)
    {
        // `src` is emptied first: setting a block or array deletes the one held so far,
        // and `src` may lie inside it.
        const JSON_DATA_TYPE type = std::exchange(src.dataType, NULL_);
        switch (type)
        {
        case JSON: SetJsonDataAsPointer(std::exchange(src.jsonData, nullptr)); break;
        case ARRAY: SetArrayDataAsPointer(std::exchange(src.arrayData, nullptr)); break;
        case STRING: SetStringData(std::move(src.stringData)); break;
        default:
            dataType = type;
            intData = src.intData;
            floatData = src.floatData;
        }
    }

    bool JsonData::IsInside(const JsonData& ancestor) const
    {
        for (const JsonData* node = parent; node != nullptr; node = node->parent)
            if (node == &ancestor)
                return true;
        return false;
    }

    void JsonData::CloneTo(JsonData& dst) const
    {
        dst.CloneFrom(*this);
    }

    bool JsonData::IsIdentical(const JsonData& other) const
    {
        const double epsilon = Helpers::Min(GetFloatPrecision(), other.GetFloatPrecision());
        if (IsOfNumericType() && other.IsOfNumericType() && dataType != other.dataType)
            return Helpers::AreSame(GetFloatData(), other.GetFloatData(), epsilon);
        if (dataType != other.dataType)
            return false;

        switch (dataType)
        {
        case NULL_: return true;
        case BOOL:
        case INT: return intData == other.intData;
        case FLOAT: return Helpers::AreSame(floatData, other.floatData, epsilon);
        case STRING: return stringData == other.stringData;
        case JSON: return jsonData->IsIdentical(*other.jsonData);
        case ARRAY: return arrayData->IsIdentical(*other.arrayData);
        }
        return false;
    }

    std::string JsonData::Render(bool minify) const
    {
        return Render(0, minify);
    }

    std::string JsonData::Render(unsigned int depth, bool minify) const
    {
        std::string text;
        RenderTo(text, depth, minify);
        return text;
    }

    void JsonData::RenderTextTo(std::string& out, std::string_view text)
    {
        out += '"';
        Internal::StringHelpers::AppendEscaped(out, text);
        out += '"';
    }

    void JsonData::RenderIntegerTo(std::string& out, long long number)
    {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof(digits), number).ptr);
    }

    void JsonData::RenderBoolTo(std::string& out, bool value)
    {
        out += value ? "true" : "false";
    }

    void JsonData::RenderTo(std::string& out, unsigned int depth, bool minify) const
    {
        switch (dataType)
        {
        case NULL_: out += "null"; break;
        case BOOL: RenderBoolTo(out, intData != 0); break;
        case INT: RenderIntegerTo(out, intData); break;
        case FLOAT: out += RenderFloat(floatData, ExplicitFloatPrecision()); break;
        case STRING: RenderTextTo(out, stringData); break;
        case JSON: jsonData->RenderTo(out, depth, minify); break;
        case ARRAY: arrayData->RenderTo(out, depth, minify); break;
        }
    }

    void JsonData::Parse(std::string text)
    {
        Internal::JsonParser::Parse(*this, text);
    }

    bool JsonData::TryParse(std::string_view text)
    {
        return Internal::JsonParser::TryParse(*this, text);
    }

    bool IsJsonValid(std::string text)
    {
        JsonData probe;
        return probe.TryParse(text);
    }

    JsonData& JsonData::operator=(const JsonData& other)
    {
        CloneFrom(other);
        return *this;
    }

    JsonData& JsonData::operator=(JsonData&& other)
    {
        if (&other == this || IsInside(other))
        {
            CloneFrom(other);
            return *this;
        }
        customFloatPrecision = other.customFloatPrecision;
        TakeContent(other);
        return *this;
    }
    JsonData& JsonData::operator=(bool value) { SetBoolData(value); return *this; }
    JsonData& JsonData::operator=(int value) { SetIntData(value); return *this; }
    JsonData& JsonData::operator=(long long value) { SetIntData(value); return *this; }
    JsonData& JsonData::operator=(double value) { SetFloatData(value); return *this; }
    JsonData& JsonData::operator=(long double value) { SetFloatData(value); return *this; }
    JsonData& JsonData::operator=(std::string value) { SetStringData(std::move(value)); return *this; }
    JsonData& JsonData::operator=(const char* value) { SetStringData(value); return *this; }

    JsonData& JsonData::operator=(JsonBlock value) { SetJsonData(std::move(value)); return *this; }
    JsonData& JsonData::operator=(JsonArray value) { SetArrayData(std::move(value)); return *this; }
    JsonData& JsonData::operator=(std::vector<JsonData> items) { SetArrayData(std::move(items)); return *this; }

    JsonData& JsonData::operator[](std::string label)
    {
        return GetJsonData().Set(std::move(label));
    }

    JsonData& JsonData::operator[](const char* label)
    {
        return GetJsonData().Set(label);
    }

    const JsonData& JsonData::operator[](std::string label) const
    {
        return GetJsonData().Get(std::move(label));
    }

    const JsonData& JsonData::operator[](const char* label) const
    {
        return GetJsonData().Get(label);
    }

    JsonData& JsonData::operator[](unsigned long index)
    {
        return GetArrayData().At(index);
    }

    JsonData& JsonData::operator[](int index)
    {
        return GetArrayData().At(static_cast<unsigned long>(index));
    }

    const JsonData& JsonData::operator[](unsigned long index) const
    {
        return GetArrayData().At(index);
    }

    const JsonData& JsonData::operator[](int index) const
    {
        return GetArrayData().At(static_cast<unsigned long>(index));
    }

    JsonData& JsonData::operator+=(JsonElement element)
    {
        return GetJsonData().Add(std::move(element));
    }

    bool JsonData::operator==(const JsonData& other) const
    {
        return IsIdentical(other);
    }

    bool JsonData::operator!=(const JsonData& other) const
    {
        return !IsIdentical(other);
    }

    JsonData::operator bool() const { return GetBoolData(); }
    JsonData::operator int() const { return static_cast<int>(GetIntData()); }
    JsonData::operator long() const { return static_cast<long>(GetIntData()); }
    JsonData::operator long long() const { return GetIntData(); }
    JsonData::operator float() const { return static_cast<float>(GetFloatData()); }
    JsonData::operator double() const { return static_cast<double>(GetFloatData()); }
    JsonData::operator long double() const { return GetFloatData(); }

    JsonData::operator std::string() const
    {
        return dataType == STRING ? stringData : Render(false);
    }

    std::ostream& operator<<(std::ostream& os, const JsonData& data)
    {
        return os << static_cast<std::string>(data);
    }
}
