#include "json/JsonArraySort.h"
#include <algorithm>
#include <cmath>
#include <numeric>
#include "json/JsonData.h"
#include "json/StringHelpers.h"

namespace Ostrel::Internal
{
    namespace
    {
        bool IsNumeric(JSON_ARRAY_SORT_MODE mode)
        {
            return mode == NUMERICAL_ASCENDING || mode == NUMERICAL_DESCENDING;
        }

        bool IsAlphabetical(JSON_ARRAY_SORT_MODE mode)
        {
            return mode == ALPHABETICAL_ASCENDING || mode == ALPHABETICAL_DESCENDING;
        }

        bool HasKey(const JsonArraySort::Key& key, JSON_ARRAY_SORT_MODE mode)
        {
            return IsNumeric(mode) ? key.hasNumber : IsAlphabetical(mode) && key.hasText;
        }

        template <typename Item>
        void Passes(std::vector<Item>& values, std::vector<JsonArraySort::Key>& keys, JSON_ARRAY_SORT_MODE mode)
        {
            const std::size_t n = values.size();
            for (std::size_t i = 0; i < n; i++)
                for (std::size_t j = 0; j + 1 < n - i; j++)
                    if (JsonArraySort::Exchange(keys[j], keys[j + 1], mode))
                    {
                        std::swap(values[j], values[j + 1]);
                        std::swap(keys[j], keys[j + 1]);
                    }
        }

        // Counts of marked positions, and the position of the k-th unmarked one.
        class PositionTree
        {
        public:
            explicit PositionTree(std::size_t size) : counts(size + 1, 0) {}

            void Mark(std::size_t position, int change = 1)
            {
                for (std::size_t i = position + 1; i < counts.size(); i += i & (~i + 1))
                    counts[i] += change;
            }

            // Marked positions below `end`.
            std::size_t CountBelow(std::size_t end) const
            {
                long sum = 0;
                for (std::size_t i = end; i > 0; i -= i & (~i + 1))
                    sum += counts[i];
                return static_cast<std::size_t>(sum);
            }

            // With every position marked once, the position of the k-th (0-based) that is
            // still marked.
            std::size_t FindMarked(std::size_t k) const
            {
                std::size_t at = 0;
                std::size_t step = 1;
                while (step * 2 < counts.size())
                    step *= 2;
                for (; step > 0; step /= 2)
                    if (at + step < counts.size() && static_cast<std::size_t>(counts[at + step]) <= k)
                    {
                        at += step;
                        k -= static_cast<std::size_t>(counts[at]);
                    }
                return at;
            }

        private:
            std::vector<long> counts;
        };

        // The order of the passes for numeric keys without not-a-number, where equal numbers
        // are exchanged, so that the passes are no stable sort. A pass carries its front item
        // rightwards, hands it over to the first item it may not pass (one that ranks strictly
        // later) and so on; the last one carried ends at the back of the pass. The items that
        // rank at or after the keys g (those with the key g and the ones ranking later) fare
        // under a pass as they would alone, so their relative order is that of the passes over
        // them alone; there the items with the key g rank first, and following the passes
        // shows that they behave as a queue: reading those items from the first with the key
        // g on, one with the key g is enqueued and each one ranking later moves the queue's
        // front to its back; the items with the key g end in the reverse of the final queue.
        // Groups of equal keys end in rank order.
        template <typename Item>
        void NumericPasses(std::vector<Item>& values, const std::vector<JsonArraySort::Key>& keys, bool ascending)
        {
            const std::size_t n = values.size();
            const auto ranksBefore = [&keys, ascending](std::size_t a, std::size_t b) {
                return ascending ? keys[a].number < keys[b].number : keys[a].number > keys[b].number;
            };
            std::vector<std::size_t> byRank(n);
            std::iota(byRank.begin(), byRank.end(), 0);
            std::stable_sort(byRank.begin(), byRank.end(), ranksBefore);

            std::vector<Item> sorted(n);
            PositionTree later(n); // items of the groups ranking after the current one
            for (std::size_t groupEnd = n; groupEnd > 0;)
            {
                std::size_t groupBegin = groupEnd - 1;
                while (groupBegin > 0 && !ranksBefore(byRank[groupBegin - 1], byRank[groupEnd - 1]))
                    groupBegin--;
                const std::size_t size = groupEnd - groupBegin;
                const std::size_t* positions = &byRank[groupBegin]; // ascending, by the stable sort

                // The queue as a cycle, built by insertions in front of its front item; where
                // each insertion went, then where those insertions leave every item.
                std::vector<std::size_t> insertedAt(size);
                std::size_t front = 0;
                for (std::size_t j = 0; j < size; j++)
                {
                    insertedAt[j] = front;
                    const std::size_t next = j + 1 < size ? positions[j + 1] : n;
                    const std::size_t passers = later.CountBelow(next) - later.CountBelow(positions[j] + 1);
                    front = (front + 1 + passers) % (j + 1);
                }
                PositionTree free(size);
                for (std::size_t slot = 0; slot < size; slot++)
                    free.Mark(slot);
                std::vector<std::size_t> cycle(size);
                for (std::size_t j = size; j-- > 0;)
                {
                    const std::size_t slot = free.FindMarked(insertedAt[j]);
                    free.Mark(slot, -1);
                    cycle[slot] = positions[j];
                }
                // The queue reads the cycle from its front; the group takes its reverse.
                for (std::size_t k = 0; k < size; k++)
                    sorted[groupEnd - 1 - k] = values[cycle[(front + k) % size]];

                for (std::size_t j = 0; j < size; j++)
                    later.Mark(positions[j]);
                groupEnd = groupBegin;
            }
            values = std::move(sorted);
        }
    }

    JsonArraySort::Key JsonArraySort::KeyOf(const JsonData* value, JSON_ARRAY_SORT_MODE mode)
    {
        Key key;
        if (value == nullptr)
            return key;
        const JSON_DATA_TYPE type = value->GetDataType();
        if (IsNumeric(mode))
        {
            key.hasNumber = type == BOOL || value->IsOfNumericType();
            if (key.hasNumber)
                key.number = type == BOOL ? (value->GetBoolData() ? 1 : 0) : value->GetFloatData();
        }
        else if (IsAlphabetical(mode) && type != JSON && type != ARRAY)
        {
            key.hasText = true;
            key.text = type == STRING ? value->GetStringData() : value->Render(false);
        }
        return key;
    }

    bool JsonArraySort::Exchange(const Key& first, const Key& second, JSON_ARRAY_SORT_MODE mode)
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
            return mode == ALPHABETICAL_ASCENDING ? StringHelpers::CompareForOrder(first.text, second.text) > 0
                                                  : StringHelpers::CompareForOrder(second.text, first.text) > 0;
        }
        return true;
    }

    template <typename Item>
    void JsonArraySort::Sort(std::vector<Item>& values, std::vector<Key>& keys, JSON_ARRAY_SORT_MODE mode)
    {
        const auto keyed = [mode](const Key& key) { return HasKey(key, mode); };
        const std::size_t withKey = static_cast<std::size_t>(std::count_if(keys.begin(), keys.end(), keyed));

        // Every pair exchanged: each pass takes its front item to its back.
        if (withKey == 0)
            return std::reverse(values.begin(), values.end());
        if (withKey < keys.size())
            return Passes(values, keys, mode);

        if (IsNumeric(mode))
        {
            // Not-a-number compares false with every number: the passes are then no sort.
            if (std::any_of(keys.begin(), keys.end(), [](const Key& key) { return std::isnan(key.number); }))
                return Passes(values, keys, mode);
            return NumericPasses(values, keys, mode == NUMERICAL_ASCENDING);
        }

        // Equal texts are never exchanged: the passes are a stable sort.
        std::vector<std::size_t> order(values.size());
        std::iota(order.begin(), order.end(), 0);
        const bool ascending = mode == ALPHABETICAL_ASCENDING;
        std::stable_sort(order.begin(), order.end(), [&keys, ascending](std::size_t a, std::size_t b) {
            const int comparison = StringHelpers::CompareForOrder(keys[a].text, keys[b].text);
            return ascending ? comparison < 0 : comparison > 0;
        });
        std::vector<Item> sorted;
        sorted.reserve(values.size());
        for (const std::size_t i : order)
            sorted.push_back(values[i]);
        values = std::move(sorted);
    }

    template void JsonArraySort::Sort(std::vector<JsonData*>& values, std::vector<Key>& keys, JSON_ARRAY_SORT_MODE mode);
    template void JsonArraySort::Sort(std::vector<std::size_t>& values, std::vector<Key>& keys, JSON_ARRAY_SORT_MODE mode);
}
