#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>
#include "json/JsonArraySortMode.h"
#include "json/JsonDataType.h"
#include "json/JsonParser.h"

namespace Ostrel
{
    class JsonData;
    class JsonBlock;

    // A JSON array: values in order, each owned by the array. Every copy is deep.
    // Appended values get the array's node as parent, as a block's members do.
    class JsonArray
    {
    public:
        JsonArray();
        JsonArray(const JsonArray& other);
        // Takes `other`'s values without copying; `other` is left empty.
        JsonArray(JsonArray&& other);
        JsonArray(std::vector<JsonData> items);
        JsonArray& operator=(const JsonArray& other); // deep copy
        // Moving an array into a value it holds itself is not supported.
        JsonArray& operator=(JsonArray&& other);
        ~JsonArray();

        // The owned value vector itself.
        std::vector<JsonData*>* GetVector();
        const std::vector<JsonData*>* GetVector() const;
        std::size_t Size() const;
        void Clear();
        // Throw JsonArrayOutOfRangeException when `index` is not below Size().
        JsonData& At(unsigned long index);
        const JsonData& At(unsigned long index) const;
        JsonData& operator[](unsigned long index);
        const JsonData& operator[](unsigned long index) const;

        // Appends `value` and takes ownership; no copy is made.
        void InsertExistingtJsonData(JsonData* value);
        void InsertExistingtJsonData(std::vector<JsonData*> values);

        // Each appends one new value and returns it; the vector forms append one per item.
        // A value or vector passed as an rvalue is moved in, not copied.
        JsonData& Add(); // NULL_
        JsonData& Add(bool value);
        JsonData& Add(int value);
        JsonData& Add(long long value);
        JsonData& Add(double value);
        JsonData& Add(long double value);
        JsonData& Add(std::string value);
        JsonData& Add(const char* value);
        JsonData& Add(JsonData value);
        JsonData& Add(JsonBlock value);
        JsonData& Add(JsonArray value);
        void Add(std::vector<bool> items);
        void Add(std::vector<int> items);
        void Add(std::vector<long long> items);
        void Add(std::vector<double> items);
        void Add(std::vector<long double> items);
        void Add(std::vector<std::string> items);
        void Add(std::vector<JsonData> items);
        void Add(std::vector<JsonBlock> items);
        void Add(std::vector<JsonArray> items);
        // A deep copy of `*value`; the caller keeps `value`.
        JsonData& AddPointer(JsonArray* value);
        JsonData& AddPointer(JsonBlock* value);
        void CopyJsonDataFromVector_Pointer(const std::vector<JsonData>* items);

        // Add(value) for any argument that Add takes.
        template <typename T>
        JsonArray& operator+=(T&& value)
        {
            Add(std::forward<T>(value));
            return *this;
        }

        // Replaces the values with deep copies of `src`'s.
        void CloneFrom(const JsonArray& src);
        void CloneTo(JsonArray& dst) const;
        // Records the value that holds this array and makes it the parent of every value.
        void SetAssociatedJsonDataNode(JsonData* node);

        std::string Render(unsigned int depth, bool minify) const;
        // Appends the same text to `out`: one buffer for a whole document.
        void RenderTo(std::string& out, unsigned int depth, bool minify) const;
        // Appends the text of an array of `count` items that renderItem(i, out, itemDepth)
        // renders one after the other, exactly as an array holding them renders: for arrays too
        // large to hold as one tree.
        using ItemRenderer = std::function<void(std::size_t index, std::string& out, unsigned int itemDepth)>;
        static void RenderItemsTo(std::string& out, unsigned int depth, bool minify, std::size_t count,
                                  const ItemRenderer& renderItem);
        // Reads JSON `text` item by item when it is an array, handing each item to `take` as it
        // is read, so that a long array never exists as one tree; the answer says whether it was
        // JSON and an array. `take` may see items of a text that then proves not to be JSON,
        // and is told to forget them by `restart` before items are handed over anew.
        using ItemsRead = Internal::JsonParser::ItemsRead;
        static ItemsRead TryParseItems(std::string_view text, const std::function<void(JsonData& item)>& take,
                                       const std::function<void()>& restart);
        // Replaces the items with those of JSON `text`, which starts with '['. Bad text
        // raises and leaves the array as it was.
        void Parse(std::string text);

        // Bubble sorts that exchange item pointers in place. Numeric modes exchange equal
        // neighbours; a pair that cannot be compared (two containers, or a value without
        // a number or text for the mode) is always exchanged.
        void Sort(JSON_ARRAY_SORT_MODE mode);
        // Sorts blocks by the value at `shorthand`; items that are not blocks or lack the
        // path are incomparable.
        void Sort(std::string shorthand, JSON_ARRAY_SORT_MODE mode, std::string delimiter);
        // The order Sort(shorthand, mode, …) would give items whose values at the shorthand are
        // `values` (null: no value there): the places of the items, first one first. For items
        // that are no tree of their own.
        static std::vector<std::size_t> SortOrder(const std::vector<const JsonData*>& values, JSON_ARRAY_SORT_MODE mode);
        // True when `first`, standing right before `second`, is to be exchanged with it.
        static bool Sort__Compare(const JsonData& first, const JsonData& second, JSON_ARRAY_SORT_MODE mode);
        // Throws std::out_of_range for a bad index.
        void Swap(std::size_t a, std::size_t b);
        // Appends deep copies of `other`'s items; merging the array into itself doubles it.
        void Merge(const JsonArray& other);
        // Throws JsonArrayOutOfRangeException for an index not below Size().
        void RemoveAt(std::size_t index);
        // The removals return how many items went; the others keep their order.
        std::size_t RemoveSimilar(JsonData value); // items IsIdentical to `value`
        std::size_t RemoveAllOfType(JSON_DATA_TYPE type);
        std::size_t RemoveAllExceptType(JSON_DATA_TYPE type);
        JsonArray& operator-=(int value);
        JsonArray& operator-=(long long value);
        JsonArray& operator-=(std::string value);
        JsonArray& operator-=(const char* value);
        JsonArray& operator-=(const JsonData& value);
        JsonArray& operator-=(JSON_DATA_TYPE type); // RemoveAllOfType

        // Same size, and item by item the same type and identical values.
        bool IsIdentical(const JsonArray& other) const;
        bool operator==(const JsonArray& other) const;
        bool operator!=(const JsonArray& other) const;

    private:
        void Init();

        std::vector<JsonData*>* values;
        JsonData* associatedJsonDataNode;
    };
}

#include "json/JsonData.h"
