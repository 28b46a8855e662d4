#include "json/JsonArray.h"
#include <numeric>
#include <utility>
#include "json/Helpers.h"
#include "json/JsonArraySort.h"
#include "json/JsonExceptions.h"
#include "json/JsonParser.h"
#include "json/StringHelpers.h"

namespace Ostrel
{
    using Internal::Helpers;
    using Internal::StringHelpers;
    using Internal::JsonArraySort;

    namespace
    {
        // The items are the array's own copies (by-value arguments): they move in.
        template <typename T>
        void AddEach(JsonArray& array, std::vector<T>& items)
        {
            for (auto&& item : items)
                array.Add(std::move(item));
        }

        template <typename Predicate>
        std::size_t RemoveWhere(JsonArray& array, Predicate remove)
        {
            std::size_t removed = 0;
            for (std::size_t i = array.Size(); i-- > 0;)
            {
                if (remove(array.At(i)))
                {
                    array.RemoveAt(i);
                    removed++;
                }
            }
            return removed;
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

    JsonArray::JsonArray(JsonArray&& other)
    {
        Init();
        std::swap(values, other.values);
        SetAssociatedJsonDataNode(nullptr);
    }

    JsonArray& JsonArray::operator=(const JsonArray& other)
    {
        CloneFrom(other);
        return *this;
    }

    JsonArray& JsonArray::operator=(JsonArray&& other)
    {
        if (&other != this)
        {
            Helpers::TakeVector(values, other.values);
            SetAssociatedJsonDataNode(associatedJsonDataNode);
        }
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
        JsonData* owned = new JsonData(std::move(value));
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
        for (const JsonData& item : *items)
            Add(item);
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
        std::string text;
        RenderTo(text, depth, minify);
        return text;
    }

    void JsonArray::RenderTo(std::string& out, unsigned int depth, bool minify) const
    {
        RenderItemsTo(out, depth, minify, values->size(),
                      [this, minify](std::size_t i, std::string& text, unsigned int itemDepth) {
                          (*values)[i]->RenderTo(text, itemDepth, minify);
                      });
    }

    JsonArray::ItemsRead JsonArray::TryParseItems(std::string_view text, const std::function<void(JsonData&)>& take,
                                                  const std::function<void()>& restart)
    {
        return Internal::JsonParser::TryParseItems(text, take, restart);
    }

    void JsonArray::RenderItemsTo(std::string& out, unsigned int depth, bool minify, std::size_t count,
                                  const ItemRenderer& renderItem)
    {
        if (count == 0)
        {
            out += "[]";
            return;
        }
        out += minify ? "[" : "[\n";
        for (std::size_t i = 0; i < count; i++)
        {
            if (!minify)
                out.append(2 * (static_cast<std::size_t>(depth) + 1), ' ');
            renderItem(i, out, depth + 1);
            if (i + 1 < count)
                out += ',';
            if (!minify)
                out += '\n';
        }
        if (!minify)
            out.append(2 * static_cast<std::size_t>(depth), ' ');
        out += ']';
    }

    void JsonArray::Parse(std::string text)
    {
        Internal::JsonParser::ParseArray(*this, text);
    }

    bool JsonArray::Sort__Compare(const JsonData& first, const JsonData& second, JSON_ARRAY_SORT_MODE mode)
    {
        return JsonArraySort::Exchange(JsonArraySort::KeyOf(&first, mode), JsonArraySort::KeyOf(&second, mode), mode);
    }

    void JsonArray::Sort(JSON_ARRAY_SORT_MODE mode)
    {
        // Both members of a pair of containers lack a key, so the pair is exchanged, as
        // every pair with an item without a key is.
        std::vector<JsonArraySort::Key> keys;
        keys.reserve(values->size());
        for (const JsonData* value : *values)
            keys.push_back(JsonArraySort::KeyOf(value, mode));
        JsonArraySort::Sort(*values, keys, mode);
    }

    void JsonArray::Sort(std::string shorthand, JSON_ARRAY_SORT_MODE mode, std::string delimiter)
    {
        // Items that are not blocks or lack the path have no key.
        const std::vector<std::string> path = StringHelpers::SplitString(shorthand, delimiter);
        std::vector<JsonArraySort::Key> keys;
        keys.reserve(values->size());
        for (const JsonData* item : *values)
            keys.push_back(JsonArraySort::KeyOf(item->GetDataType() == JSON ? item->GetJsonData().Walk(path) : nullptr, mode));
        JsonArraySort::Sort(*values, keys, mode);
    }

    std::vector<std::size_t> JsonArray::SortOrder(const std::vector<const JsonData*>& values, JSON_ARRAY_SORT_MODE mode)
    {
        std::vector<JsonArraySort::Key> keys;
        keys.reserve(values.size());
        for (const JsonData* value : values)
            keys.push_back(JsonArraySort::KeyOf(value, mode));
        std::vector<std::size_t> order(values.size());
        std::iota(order.begin(), order.end(), 0);
        JsonArraySort::Sort(order, keys, mode);
        return order;
    }

    void JsonArray::Swap(std::size_t a, std::size_t b)
    {
        std::swap(values->at(a), values->at(b));
    }

    void JsonArray::Merge(const JsonArray& other)
    {
        if (&other == this)
        {
            const JsonArray copy(other);
            Merge(copy);
            return;
        }
        values->reserve(values->size() + other.values->size());
        for (const JsonData* value : *other.values)
            Add(*value);
    }

    void JsonArray::RemoveAt(std::size_t index)
    {
        if (index >= values->size())
            throw JsonArrayOutOfRangeException(index, values->size());
        delete (*values)[index];
        values->erase(values->begin() + static_cast<std::ptrdiff_t>(index));
    }

    std::size_t JsonArray::RemoveSimilar(JsonData value)
    {
        return RemoveWhere(*this, [&value](const JsonData& item) { return item.IsIdentical(value); });
    }

    std::size_t JsonArray::RemoveAllOfType(JSON_DATA_TYPE type)
    {
        return RemoveWhere(*this, [type](const JsonData& item) { return item.GetDataType() == type; });
    }

    std::size_t JsonArray::RemoveAllExceptType(JSON_DATA_TYPE type)
    {
        return RemoveWhere(*this, [type](const JsonData& item) { return item.GetDataType() != type; });
    }

    JsonArray& JsonArray::operator-=(int value)
    {
        RemoveSimilar(value);
        return *this;
    }

    JsonArray& JsonArray::operator-=(long long value)
    {
        RemoveSimilar(value);
        return *this;
    }

    JsonArray& JsonArray::operator-=(std::string value)
    {
        RemoveSimilar(std::move(value));
        return *this;
    }

    JsonArray& JsonArray::operator-=(const char* value)
    {
        RemoveSimilar(value);
        return *this;
    }

    JsonArray& JsonArray::operator-=(const JsonData& value)
    {
        RemoveSimilar(value);
        return *this;
    }

    JsonArray& JsonArray::operator-=(JSON_DATA_TYPE type)
    {
        RemoveAllOfType(type);
        return *this;
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
