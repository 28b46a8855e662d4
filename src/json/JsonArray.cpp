#include "json/JsonArray.h"
#include <utility>
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
        // The items are the array's own copies (by-value arguments): they move in.
        template <typename T>
        void AddEach(JsonArray& array, std::vector<T>& items)
        {
            for (auto&& item : items)
                array.Add(std::move(item));
        }

        bool IsContainer(const JsonData& value)
        {
            return value.GetDataType() == JSON || value.GetDataType() == ARRAY;
        }

        // The number a value sorts by; false for types that have none.
        bool SortNumber(const JsonData& value, long double& number)
        {
            if (value.GetDataType() == BOOL)
                number = value.GetBoolData() ? 1 : 0;
            else if (value.IsOfNumericType())
                number = value.GetFloatData();
            else
                return false;
            return true;
        }

        // The text a value sorts by; false for containers.
        bool SortText(const JsonData& value, std::string& text)
        {
            if (IsContainer(value))
                return false;
            text = value.GetDataType() == STRING ? value.GetStringData() : value.Render(false);
            return true;
        }

        // What one item sorts by, read once before the passes: they then compare keys
        // instead of walking a shorthand and converting values at every comparison,
        // which made sorting a few thousand log entries take seconds.
        struct SortKey
        {
            bool present = false;  // false for an item that lacks the key's path
            bool container = false;
            bool hasNumber = false;
            long double number = 0;
            bool hasText = false;
            std::string text;
        };

        // The key of `value` for `mode`; null stands for an item without a key at all.
        SortKey KeyOf(const JsonData* value, JSON_ARRAY_SORT_MODE mode)
        {
            SortKey key;
            if (value == nullptr)
                return key;
            key.present = true;
            key.container = IsContainer(*value);
            if (mode == NUMERICAL_ASCENDING || mode == NUMERICAL_DESCENDING)
                key.hasNumber = SortNumber(*value, key.number);
            else if (mode == ALPHABETICAL_ASCENDING || mode == ALPHABETICAL_DESCENDING)
                key.hasText = SortText(*value, key.text);
            return key;
        }

        // The pair test on keys: true when the two, in this order, are to be exchanged.
        bool ExchangeKeys(const SortKey& first, const SortKey& second, JSON_ARRAY_SORT_MODE mode)
        {
            switch (mode)
            {
            case NUMERICAL_ASCENDING:
            case NUMERICAL_DESCENDING:
                if (!first.hasNumber || !second.hasNumber)
                    return true;
                return mode == NUMERICAL_ASCENDING ? first.number >= second.number : second.number >= first.number;
            case ALPHABETICAL_ASCENDING:
            case ALPHABETICAL_DESCENDING:
                if (!first.hasText || !second.hasText)
                    return true;
                return mode == ALPHABETICAL_ASCENDING
                           ? StringHelpers::SortDescriminator_Alphabetically(first.text, second.text)
                           : StringHelpers::SortDescriminator_Alphabetically(second.text, first.text);
            }
            return true;
        }

        // The exact passes of the sort are part of the result: equal numeric keys and
        // incomparable pairs are exchanged whenever a pass meets them. `keys` travel with
        // their items.
        template <typename Exchange>
        void BubbleSort(std::vector<JsonData*>& values, std::vector<SortKey>& keys, Exchange exchange)
        {
            const std::size_t n = values.size();
            for (std::size_t i = 0; i < n; i++)
                for (std::size_t j = 0; j + 1 < n - i; j++)
                    if (exchange(keys[j], keys[j + 1]))
                    {
                        std::swap(values[j], values[j + 1]);
                        std::swap(keys[j], keys[j + 1]);
                    }
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
        if (&other == this)
            return *this;
        // Released last: `other` may lie inside the values this array held.
        std::vector<JsonData*>* released = std::exchange(values, std::exchange(other.values, new std::vector<JsonData*>()));
        SetAssociatedJsonDataNode(associatedJsonDataNode);
        Helpers::FreeVector(released);
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
        if (values->empty())
        {
            out += "[]";
            return;
        }
        out += minify ? "[" : "[\n";
        for (std::size_t i = 0; i < values->size(); i++)
        {
            if (!minify)
                out.append(2 * (static_cast<std::size_t>(depth) + 1), ' ');
            (*values)[i]->RenderTo(out, depth + 1, minify);
            if (i + 1 < values->size())
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
        Internal::JsonParser::ParseArray(*this, StringHelpers::MinifyJson(text), 1);
    }

    bool JsonArray::Sort__Compare(const JsonData& first, const JsonData& second, JSON_ARRAY_SORT_MODE mode)
    {
        return ExchangeKeys(KeyOf(&first, mode), KeyOf(&second, mode), mode);
    }

    void JsonArray::Sort(JSON_ARRAY_SORT_MODE mode)
    {
        std::vector<SortKey> keys;
        keys.reserve(values->size());
        for (const JsonData* value : *values)
            keys.push_back(KeyOf(value, mode));
        BubbleSort(*values, keys, [mode](const SortKey& a, const SortKey& b) {
            return (a.container && b.container) || ExchangeKeys(a, b, mode);
        });
    }

    void JsonArray::Sort(std::string shorthand, JSON_ARRAY_SORT_MODE mode, std::string delimiter)
    {
        std::vector<SortKey> keys;
        keys.reserve(values->size());
        for (const JsonData* item : *values)
        {
            const bool holdsPath =
                item->GetDataType() == JSON && item->GetJsonData().DoesShorthandExist(shorthand, delimiter);
            keys.push_back(KeyOf(holdsPath ? &item->GetJsonData().ShorthandGet(shorthand, delimiter) : nullptr, mode));
        }
        // Items without the path are incomparable: always exchanged.
        BubbleSort(*values, keys, [mode](const SortKey& a, const SortKey& b) {
            return !a.present || !b.present || ExchangeKeys(a, b, mode);
        });
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
