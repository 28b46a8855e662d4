#include <gtest/gtest.h>
#include <string>
#include "rest/ReplyStream.h"

using namespace Rest;

namespace
{
    Ostrel::JsonBlock Item(size_t i)
    {
        Ostrel::JsonBlock item;
        item.Set("n") = static_cast<long long>(i);
        item.Set("text") = "item \"" + std::to_string(i) + "\"\n";
        return item;
    }
}

// Piece by piece, and read in reads of every size, the reply is the text of the block holding the
// whole array, for no item, one, two and more than one piece's worth.
TEST(ReplyStreamTest, WithItemsRendersAsTheBlockHoldingTheArray)
{
    for (const size_t count : {0u, 1u, 2u, 3u, 700u})
        for (const size_t readSize : {1u, 7u, 65536u})
        {
            Ostrel::JsonBlock reply;
            reply.Set("status") = "OK";
            reply.Set("cache_size") = static_cast<long long>(count);
            reply.Set("zzz") = "after";
            Ostrel::JsonArray items;
            for (size_t i = 0; i < count; i++)
                items.Add(Item(i));
            Ostrel::JsonBlock whole(reply);
            whole.Set("cache") = items;
            reply.Set("cache") = Ostrel::JsonArray();

            const auto stream = ReplyStream::WithItems(reply, "cache", count, [](size_t i, std::string& out, unsigned int depth) {
                Item(i).RenderTo(out, depth, false);
            });
            std::string read;
            std::string buffer(readSize, '\0');
            while (const size_t got = stream->Read(buffer.data(), readSize))
                read.append(buffer, 0, got);
            EXPECT_EQ(read, whole.Render(0, false)) << count << " items, reads of " << readSize;
            EXPECT_EQ(stream->Read(buffer.data(), readSize), 0u);
        }
}
