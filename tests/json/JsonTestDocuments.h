#pragma once
#include "json/Json.h"

// The block of the rendering worked example, members added in this order.
inline Ostrel::JsonBlock WorkedExampleBlock()
{
    using namespace Ostrel;
    JsonBlock block;
    block.Add(JsonElement("name", "Video \"A\""));
    block.Add(JsonElement("size", 1024));
    block.Add(JsonElement("ratio", 0.5));
    block.Add(JsonElement("tags", std::vector<JsonData>{"x", 1, JsonData()}));
    block.Add(JsonElement("meta", JsonBlock()));
    block.Add(JsonElement("Info", JsonBlock({{"ok", true}})));
    return block;
}

inline const char* workedExamplePretty = R"({
  "Info": {
    "ok": true
  },
  "meta": {},
  "name": "Video \"A\"",
  "ratio": 0.5,
  "size": 1024,
  "tags": [
    "x",
    1,
    null
  ]
})";

inline const char* workedExampleCompact =
    R"({"Info":{"ok":true},"meta":{},"name":"Video \"A\"","ratio":0.5,"size":1024,"tags":["x",1,null]})";
