#include "json/JsonDataType.h"

namespace Ostrel
{
    std::string JsonDataType2String(JSON_DATA_TYPE type)
    {
        switch (type)
        {
        case NULL_: return "NULL";
        case BOOL: return "BOOL";
        case INT: return "INT";
        case FLOAT: return "FLOAT";
        case STRING: return "STRING";
        case JSON: return "JSON";
        case ARRAY: return "ARRAY";
        }
        return "UNREGISTERED - You dun fucked up";
    }
}
