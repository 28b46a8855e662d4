#pragma once
#include <functional>
#include <string>
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
    // Reads JSON text into values. What a text means and which error it raises are those of
    // a recursive splitter: each level removes insignificant whitespace, cuts its text into
    // the pieces of its members or items, and hands each piece to the next level, whose
    // errors come only after its own. Texts in the plain JSON grammar (whitespace only
    // between tokens, no duplicate labels, nothing the splitter would read differently) are
    // read in one pass by a strict parser, whose result equals the splitter's on them;
    // every other text goes to the splitter, which reads the minified text once to index
    // where the brackets, quotes and commas outside strings stand, so that each level looks
    // only at what is its own. Both take time linear in the text (times log n at most).
    // Every operation changes its target only once its whole text has parsed.
    class JsonParser
    {
    public:
        // Request bodies come from the network and every level of nesting costs a level
        // of recursion: deeper documents are refused rather than overflowing the stack.
        static constexpr unsigned int maxNesting = 512;

        // Refuses minified text whose brackets nest deeper than maxNesting, in one pass.
        static void CheckNesting(std::string_view text);

        // Replaces `into` with the value of `text`; raises the JsonParsing... exception of
        // the first error. Parent and float precision of `into` stay.
        static void Parse(JsonData& into, std::string_view text);
        // The same, but answers false (leaving `into` as it was) where Parse would raise a
        // JsonException.
        static bool TryParse(JsonData& into, std::string_view text);
        enum class ItemsRead
        {
            NOT_JSON,
            NOT_AN_ARRAY,
            ARRAY
        };
        // Reads `text` like TryParse, but hands each item of an array that is the whole text to
        // `take` as soon as it is read, so that a long array never exists as one tree. `take`
        // may see items of a text that then proves not to be JSON, and is told to forget them
        // by `restart` before items are handed over anew.
        static ItemsRead TryParseItems(std::string_view text, const std::function<void(JsonData&)>& take,
                                       const std::function<void()>& restart);
        // Appends the members of `text`, a block, to `into`.
        static void ParseBlock(JsonBlock& into, std::string_view text);
        // Replaces the items of `into` with those of `text`, an array.
        static void ParseArray(JsonArray& into, std::string_view text);
        // Label and value of one member, `"label":value`.
        static void ParseElement(JsonElement& into, std::string_view text);

    private:
        class StrictParser;
        class Splitter;

        // Parse for texts beyond the strict grammar.
        static void Split(JsonData& into, std::string_view text);
    };
}
