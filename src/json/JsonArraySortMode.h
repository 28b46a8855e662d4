#pragma once

namespace Ostrel
{
    // Orders of JsonArray::Sort. The alphabetical modes compare texts case-insensitively
    // (StringHelpers::SortDescriminator_Alphabetically). Stored as an int, so any other
    // number is a valid value too; Sort then finds every pair incomparable.
    enum JSON_ARRAY_SORT_MODE : int
    {
        NUMERICAL_ASCENDING = 0,
        NUMERICAL_DESCENDING,
        ALPHABETICAL_ASCENDING,
        ALPHABETICAL_DESCENDING
    };
}
