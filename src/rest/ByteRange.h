#pragma once
#include <cstdint>
#include <string>

namespace Rest
{
    // What a request's Range header asks of a file of a given size. Only one range of
    // bytes is served as such; several ranges, other units and text that is no range are
    // answered with the whole file, as a server may do.
    struct ByteRange
    {
        enum Kind
        {
            WHOLE,          // 200 with the whole file
            PART,           // 206: `length` bytes from `first`
            UNSATISFIABLE   // 416: the range starts at or beyond the end
        };
        Kind kind = WHOLE;
        uint64_t first = 0;
        uint64_t length = 0;

        // "bytes=FIRST-LAST", "bytes=FIRST-" and "bytes=-SUFFIX"; a LAST beyond the end
        // stops at the end and a SUFFIX longer than the file takes all of it.
        static ByteRange Parse(const std::string& header, uint64_t size);
        // "bytes FIRST-LAST/SIZE" for a part, "bytes */SIZE" otherwise.
        std::string ContentRange(uint64_t size) const;
    };
}
