#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include "json/JsonArraySortMode.h"

namespace Ostrel
{
    class JsonData;
}

namespace Ostrel::Internal
{
    // The array sorts: the plain pair passes define the order (equal numbers and every
    // pair with an item without a key are exchanged whenever a pass meets them); where
    // that order is proven to follow from the keys alone it is computed in O(n log n).
    class JsonArraySort
    {
    public:
        // What one item sorts by, read once before sorting. An item without the key's
        // path, or without a number or text for the mode, has neither.
        struct Key
        {
            bool hasNumber = false;
            long double number = 0;
            bool hasText = false;
            std::string text;
        };

        // The key of `value` for `mode`; null stands for an item without a key at all.
        static Key KeyOf(const JsonData* value, JSON_ARRAY_SORT_MODE mode);
        // The pair test: true when the two, in this order, are to be exchanged.
        static bool Exchange(const Key& first, const Key& second, JSON_ARRAY_SORT_MODE mode);
        // Puts `values` into the order of the passes; `keys[i]` belongs to `values[i]`. For items
        // (JsonData*) and for the places of items kept elsewhere (std::size_t).
        template <typename Item>
        static void Sort(std::vector<Item>& values, std::vector<Key>& keys, JSON_ARRAY_SORT_MODE mode);
    };
}
