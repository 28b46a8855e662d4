#pragma once
// Everything a user of the JSON library needs.
#include "json/Helpers.h"
#include "json/JsonArray.h"
#include "json/JsonArraySortMode.h"
#include "json/JsonBlock.h"
#include "json/JsonData.h"
#include "json/JsonDataType.h"
#include "json/JsonElement.h"
#include "json/JsonExceptions.h"
#include "json/Jstring.h"
#include "json/StringHelpers.h"
#include "json/UTF16Compatibility.h"
#include "json/UTF8.h"
