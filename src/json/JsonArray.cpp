#include "json/JsonArray.h"
#include "json/Helpers.h"
#include "json/JsonExceptions.h"
#include "json/JsonParser.h"
#include "json/StringHelpers.h"

namespace Ostrel
{
    using Internal::Helpers;
    using Internal::StringHelpers;

    namespace
    {
        template <typename T>
        void AddEach(JsonArray& array, const std::vector<T>& items)
        {
            for (const T& item : items)
                array.Add(item);
        }
    }

    JsonArray::JsonArray()
    {
        Init();
    }

    JsonArray::JsonArray(const JsonArray& other)
    {
        Init();
        CloneFrom(other);
    }

    JsonArray::JsonArray(std::vector<JsonData> items)
    {
        Init();
        Add(std::move(items));
    }

    JsonArray& JsonArray::operator=(const JsonArray& other)
    {
        CloneFrom(other);
        return *this;
    }

    JsonArray::~JsonArray()
    {
        Helpers::FreeVector(values);
    }

    void JsonArray::Init()
    {
        values = new std::vector<JsonData*>();
        associatedJsonDataNode = nullptr;
    }

    std::vector<JsonData*>* JsonArray::GetVector()
    {
        return values;
    }

    const std::vector<JsonData*>* JsonArray::GetVector() const
    {
        return values;
    }

    std::size_t JsonArray::Size() const
    {
        return values->size();
    }

    void JsonArray::Clear()
    {
        Helpers::FreeVector(values);
        values = new std::vector<JsonData*>();
    }

    JsonData& JsonArray::At(unsigned long index)
    {
        if (index >= values->size())
            throw JsonArrayOutOfRangeException(index, values->size());
        return *(*values)[index];
    }

    const JsonData& JsonArray::At(unsigned long index) const
    {
        if (index >= values->size())
            throw JsonArrayOutOfRangeException(index, values->size());
        return *(*values)[index];
    }

    JsonData& JsonArray::operator[](unsigned long index)
    {
        return At(index);
    }

    const JsonData& JsonArray::operator[](unsigned long index) const
    {
        return At(index);
    }

    void JsonArray::InsertExistingtJsonData(JsonData* value)
    {
        values->push_back(value);
        value->parent = associatedJsonDataNode;
    }

    void JsonArray::InsertExistingtJsonData(std::vector<JsonData*> newValues)
    {
        for (JsonData* value : newValues)
            InsertExistingtJsonData(value);
    }

    JsonData& JsonArray::Add(JsonData value)
    {
        JsonData* owned = new JsonData(value);
        InsertExistingtJsonData(owned);
        return *owned;
    }

    JsonData& JsonArray::Add() { return Add(JsonData()); }
    JsonData& JsonArray::Add(bool value) { return Add(JsonData(value)); }
    JsonData& JsonArray::Add(int value) { return Add(JsonData(value)); }
    JsonData& JsonArray::Add(long long value) { return Add(JsonData(value)); }
    JsonData& JsonArray::Add(double value) { return Add(JsonData(value)); }
    JsonData& JsonArray::Add(long double value) { return Add(JsonData(value)); }
    JsonData& JsonArray::Add(std::string value) { return Add(JsonData(std::move(value))); }
    JsonData& JsonArray::Add(const char* value) { return Add(JsonData(value)); }
    JsonData& JsonArray::Add(JsonBlock value) { return Add(JsonData(std::move(value))); }
    JsonData& JsonArray::Add(JsonArray value) { return Add(JsonData(std::move(value))); }

    void JsonArray::Add(std::vector<bool> items) { AddEach(*this, items); }
    void JsonArray::Add(std::vector<int> items) { AddEach(*this, items); }
    void JsonArray::Add(std::vector<long long> items) { AddEach(*this, items); }
    void JsonArray::Add(std::vector<double> items) { AddEach(*this, items); }
    void JsonArray::Add(std::vector<long double> items) { AddEach(*this, items); }
    void JsonArray::Add(std::vector<std::string> items) { AddEach(*this, items); }
    void JsonArray::Add(std::vector<JsonData> items) { AddEach(*this, items); }
    void JsonArray::Add(std::vector<JsonBlock> items) { AddEach(*this, items); }
    void JsonArray::Add(std::vector<JsonArray> items) { AddEach(*this, items); }

    JsonData& JsonArray::AddPointer(JsonArray* value)
    {
        return Add(*value);
    }

    JsonData& JsonArray::AddPointer(JsonBlock* value)
    {
        return Add(*value);
    }

    void JsonArray::CopyJsonDataFromVector_Pointer(const std::vector<JsonData>* items)
    {
        AddEach(*this, *items);
    }

    void JsonArray::CloneFrom(const JsonArray& src)
    {
        // Copy before releasing: `src` may be this array or lie inside it.
        std::vector<JsonData*>* copies = Helpers::CloneVector(*src.values);
        Helpers::FreeVector(values);
        values = copies;
        SetAssociatedJsonDataNode(associatedJsonDataNode);
    }

    void JsonArray::CloneTo(JsonArray& dst) const
    {
        dst.CloneFrom(*this);
    }

    void JsonArray::SetAssociatedJsonDataNode(JsonData* node)
    {
        associatedJsonDataNode = node;
        for (JsonData* value : *values)
            value->parent = node;
    }

    std::string JsonArray::Render(unsigned int depth, bool minify) const
    {
        if (values->empty())
            return "[]";
        std::string text = minify ? "[" : "[\n";
        for (std::size_t i = 0; i < values->size(); i++)
        {
            if (!minify)
                text += StringHelpers::GetIndentation(depth + 1);
            text += (*values)[i]->Render(depth + 1, minify);
            if (i + 1 < values->size())
                text += ",";
            if (!minify)
                text += "\n";
        }
        if (!minify)
            text += StringHelpers::GetIndentation(depth);
        return text + "]";
    }

    void JsonArray::Parse(std::string text)
    {
        Internal::JsonParser::ParseArray(*this, StringHelpers::MinifyJson(text), 1);
    }

    bool JsonArray::IsIdentical(const JsonArray& other) const
    {
        if (values->size() != other.values->size())
            return false;
        for (std::size_t i = 0; i < values->size(); i++)
        {
            const JsonData& mine = *(*values)[i];
            const JsonData& theirs = *(*other.values)[i];
            if (mine.GetDataType() != theirs.GetDataType() || !mine.IsIdentical(theirs))
                return false;
        }
        return true;
    }

    bool JsonArray::operator==(const JsonArray& other) const
    {
        return IsIdentical(other);
    }

    bool JsonArray::operator!=(const JsonArray& other) const
    {
        return !IsIdentical(other);
    }
}
