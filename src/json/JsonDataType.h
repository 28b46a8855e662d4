#pragma once
#include <cstdint>
#include <string>

namespace Ostrel
{
    // The seven kinds of JSON value. Stored as a 32-bit int; the numbers are stable.
    enum JSON_DATA_TYPE : int32_t
    {
        NULL_ = 0,
        BOOL,
        INT,
        FLOAT,
        STRING,
        JSON,
        ARRAY
    };

    // The upper-case word of a type ("NULL", "BOOL", ...), used in error messages.
    std::string JsonDataType2String(JSON_DATA_TYPE type);
}
