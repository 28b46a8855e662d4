// The sorts compute the order of the plain pair passes by faster means where that order is
// proven to follow from the keys. The passes, transcribed plainly here, are the oracle; the
// product's sort (and the order it computes for items kept elsewhere) must give exactly their
// permutation on many random arrays with few distinct keys (so that ties abound), mixed types,
// missing keys, every mode and both forms.
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <random>
#include "json/Json.h"

using namespace Ostrel;

namespace
{
const std::vector<JSON_ARRAY_SORT_MODE> modes = {NUMERICAL_ASCENDING, NUMERICAL_DESCENDING, ALPHABETICAL_ASCENDING,
                                                 ALPHABETICAL_DESCENDING, static_cast<JSON_ARRAY_SORT_MODE>(9)};

bool IsContainer(const JsonData* value)
{
    return value->GetDataType() == JSON || value->GetDataType() == ARRAY;
}

// The passes over the items, as they are written down: by own values, two containers or a
// pair the pair test says so are exchanged; by a path, a pair is exchanged unless both are
// blocks holding the path and the pair test of the values there says otherwise. (What each
// item holds at the path is looked up once.)
std::vector<const JsonData*> Passes(const JsonArray& array, const std::string* path, JSON_ARRAY_SORT_MODE mode)
{
    using Item = std::pair<const JsonData*, const JsonData*>; // the item, its value at the path
    std::vector<Item> items;
    for (const JsonData* item : *array.GetVector())
    {
        const bool holds =
            path != nullptr && item->GetDataType() == JSON && item->GetJsonData().DoesShorthandExist(*path, ".");
        items.emplace_back(item, holds ? &item->GetJsonData().ShorthandGet(*path, ".") : nullptr);
    }
    for (std::size_t i = 0; i < items.size(); i++)
        for (std::size_t j = 0; j + 1 < items.size() - i; j++)
        {
            const Item& a = items[j];
            const Item& b = items[j + 1];
            const bool exchange =
                path == nullptr ? (IsContainer(a.first) && IsContainer(b.first)) || JsonArray::Sort__Compare(*a.first, *b.first, mode)
                                : a.second == nullptr || b.second == nullptr || JsonArray::Sort__Compare(*a.second, *b.second, mode);
            if (exchange)
                std::swap(items[j], items[j + 1]);
        }
    std::vector<const JsonData*> order;
    for (const Item& item : items)
        order.push_back(item.first);
    return order;
}

// Values of one kind, few of each so that equal ones meet often.
enum class Kind
{
    Numbers, // INT, FLOAT and BOOL, with equal values among the types
    Texts,   // strings that compare equal in other letter case, numbers as their text
    Anything // the above, null, containers, not-a-number
};

JsonData RandomValue(std::mt19937& random, Kind kind, int distinct)
{
    const int pick = static_cast<int>(random() % static_cast<unsigned>(distinct));
    const unsigned type = random() % 4;
    if (kind == Kind::Anything && random() % 3 == 0)
    {
        switch (random() % 5)
        {
        case 0: return JsonData();
        case 1: return JsonData(JsonBlock({{"k", pick}}));
        case 2: return JsonData(std::vector<JsonData>{pick});
        case 3: return JsonData(std::numeric_limits<long double>::quiet_NaN());
        default: return JsonData(std::to_string(pick));
        }
    }
    if (kind == Kind::Texts || (kind == Kind::Anything && random() % 2 == 0))
    {
        static const std::vector<std::string> texts = {"a", "A", "b", "B", "\xC3\xA9", "_", "ab", "10", "9"};
        if (type == 0)
            return JsonData(pick); // rendered as its digits
        return JsonData(texts[static_cast<std::size_t>(pick) % texts.size()]);
    }
    switch (type)
    {
    case 0: return JsonData(pick);
    case 1: return JsonData(static_cast<long double>(pick) / 2 * 2); // the same number as a FLOAT
    case 2: return JsonData(pick % 2 == 0);
    default: return JsonData(static_cast<long double>(pick) - 0.5L);
    }
}

struct Arrays
{
    JsonArray own;    // the values themselves
    JsonArray blocks; // blocks holding them at "m.t", some without
};

Arrays RandomArrays(std::mt19937& random, Kind kind, std::size_t size, int distinct)
{
    Arrays arrays;
    for (std::size_t i = 0; i < size; i++)
    {
        JsonData value = RandomValue(random, kind, distinct);
        arrays.own.Add(value);
        JsonBlock block({JsonElement("id", static_cast<int>(i))});
        const bool missing = kind == Kind::Anything && random() % 5 == 0;
        if (!missing)
            block.ShorthandSet("m.t", ".") = value;
        if (kind == Kind::Anything && random() % 7 == 0)
            arrays.blocks.Add(std::string("not a block"));
        else
            arrays.blocks.Add(block);
    }
    return arrays;
}

void ExpectSameOrder(JsonArray& array, const std::string* path, JSON_ARRAY_SORT_MODE mode, const std::string& what)
{
    const std::vector<const JsonData*> expected = Passes(array, path, mode);
    if (path != nullptr)
    {
        // The order alone, of items that are no tree of their own, is the same permutation.
        std::vector<const JsonData*> values;
        for (const JsonData* item : *array.GetVector())
            values.push_back(item->GetDataType() == JSON && item->GetJsonData().DoesShorthandExist(*path, ".")
                                 ? &item->GetJsonData().ShorthandGet(*path, ".")
                                 : nullptr);
        std::vector<const JsonData*> ordered;
        for (const std::size_t place : JsonArray::SortOrder(values, mode))
            ordered.push_back((*array.GetVector())[place]);
        ASSERT_EQ(ordered, expected) << what << ", mode " << mode << ", order alone";
    }
    if (path == nullptr)
        array.Sort(mode);
    else
        array.Sort(*path, mode, ".");
    const std::vector<const JsonData*> sorted(array.GetVector()->begin(), array.GetVector()->end());
    ASSERT_EQ(sorted, expected) << what << ", mode " << mode << ": " << JsonData(array).Render(true);
}
}

TEST(SortDifferentialTest, GivesThePermutationOfThePassesOnRandomArrays)
{
    std::mt19937 random(20240611);
    const std::string path = "m.t";
    for (const Kind kind : {Kind::Numbers, Kind::Texts, Kind::Anything})
        for (int round = 0; round < 700; round++)
        {
            const std::size_t size = random() % 25;
            const int distinct = 1 + static_cast<int>(random() % 5);
            for (const JSON_ARRAY_SORT_MODE mode : modes)
            {
                Arrays arrays = RandomArrays(random, kind, size, distinct);
                const std::string what = "kind " + std::to_string(static_cast<int>(kind)) + ", round " + std::to_string(round);
                ExpectSameOrder(arrays.own, nullptr, mode, what + ", own values");
                ExpectSameOrder(arrays.blocks, &path, mode, what + ", by path");
            }
        }
}

// Long arrays of numbers with ties in groups of every size, as the listings sort them.
TEST(SortDifferentialTest, GivesThePermutationOfThePassesOnLongNumericArrays)
{
    std::mt19937 random(7);
    const std::string path = "m.t";
    for (const int distinct : {1, 3, 40, 1000})
        for (const JSON_ARRAY_SORT_MODE mode : {NUMERICAL_ASCENDING, NUMERICAL_DESCENDING})
        {
            Arrays arrays = RandomArrays(random, Kind::Numbers, 600, distinct);
            ExpectSameOrder(arrays.blocks, &path, mode, std::to_string(distinct) + " distinct keys");
        }
}
