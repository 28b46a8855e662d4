#pragma once
#include <string_view>

namespace Ostrel
{
    class JsonData;
    class JsonBlock;
    class JsonElement;
    class JsonArray;
}

namespace Ostrel::Internal
{
    // The recursive splitter behind the public Parse operations, which minify their
    // text and hand it over. A piece cut out of minified text is minified already, so
    // the levels pass views into the one minified text instead of copies.
    // `depth` is the number of blocks and arrays that enclose the text.
    // Each operation changes its target only once its whole text has parsed.
    class JsonParser
    {
    public:
        // Request bodies come from the network and every level of nesting costs a level
        // of recursion: deeper documents are refused rather than overflowing the stack.
        static constexpr unsigned int maxNesting = 512;

        // `asPassed` is the text as the caller gave it, quoted by an unrecognisable value.
        static void ParseValue(JsonData& into, std::string_view text, std::string_view asPassed, unsigned int depth);
        // Appends the members of `text` to `into`.
        static void ParseBlock(JsonBlock& into, std::string_view text, unsigned int depth);
        static void ParseElement(JsonElement& into, std::string_view text, unsigned int depth);
        // Replaces the items of `into` with those of `text`.
        static void ParseArray(JsonArray& into, std::string_view text, unsigned int depth);
    };
}
