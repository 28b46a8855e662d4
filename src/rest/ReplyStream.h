#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include "json/Json.h"

namespace Rest
{
    // A reply rendered piece by piece while it is sent, so that a listing of years never exists
    // as one text. Main thread only: the pieces are rendered as the connection takes them.
    class ReplyStream
    {
    public:
        // `next(out)` appends the next piece to `out`; false once it has appended the last one.
        explicit ReplyStream(std::function<bool(std::string& out)> next);

        // The text of `reply` with the value of its member `label` (an array) rendered
        // as `count` items by renderItem(i, out, itemDepth), a few at a time, exactly as the
        // array would render in the block.
        static std::shared_ptr<ReplyStream> WithItems(const Ostrel::JsonBlock& reply, const std::string& label,
                                                      size_t count, Ostrel::JsonArray::ItemRenderer renderItem);

        // Up to `max` bytes of the reply into `buffer`; 0 once all of it has been read.
        size_t Read(char* buffer, size_t max);
        // The rest of the reply as one text.
        std::string ReadAll();

    private:
        std::function<bool(std::string& out)> next;
        std::string pending;
        size_t at = 0;
        bool more = true;
    };
}
