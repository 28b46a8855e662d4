#include "rest/ReplyStream.h"
#include <algorithm>
#include <cstring>
#include <vector>

using namespace Rest;

namespace
{
    // Items rendered per piece: a few hundred kilobytes of a listing.
    constexpr size_t itemsPerPiece = 256;
}

ReplyStream::ReplyStream(std::function<bool(std::string& out)> next) : next(std::move(next))
{
}

std::shared_ptr<ReplyStream> ReplyStream::WithItems(const Ostrel::JsonBlock& reply, const std::string& label,
                                                    size_t count, Ostrel::JsonArray::ItemRenderer renderItem)
{
    // The text around the array and the array's own brackets and separators, as the library
    // renders them, cut where the items go.
    std::string head;
    unsigned int depth = 0;
    size_t cut = 0;
    reply.RenderTo(head, 0, false, label, [&](std::string& out, unsigned int valueDepth) {
        depth = valueDepth;
        cut = out.size();
    });
    std::string tail = head.substr(cut);
    head.resize(cut);
    std::string frame;
    std::vector<size_t> places;
    Ostrel::JsonArray::RenderItemsTo(frame, depth, false, std::min<size_t>(count, 2),
                                     [&places](size_t, std::string& out, unsigned int) { places.push_back(out.size()); });
    if (count == 0)
    {
        head += frame + tail;
        return std::make_shared<ReplyStream>([head](std::string& out) {
            out += head;
            return false;
        });
    }
    head += frame.substr(0, places.front());
    const std::string separator = count > 1 ? frame.substr(places[0], places[1] - places[0]) : "";
    tail = frame.substr(places.back()) + tail;

    auto done = std::make_shared<size_t>(0);
    return std::make_shared<ReplyStream>([=](std::string& out) {
        if (*done == 0)
            out += head;
        const size_t end = std::min(count, *done + itemsPerPiece);
        for (size_t& i = *done; i < end; i++)
        {
            if (i > 0)
                out += separator;
            renderItem(i, out, depth + 1);
        }
        if (*done < count)
            return true;
        out += tail;
        return false;
    });
}

size_t ReplyStream::Read(char* buffer, size_t max)
{
    while (at == pending.size() && more)
    {
        pending.clear();
        at = 0;
        more = next(pending);
    }
    const size_t taken = std::min(max, pending.size() - at);
    std::memcpy(buffer, pending.data() + at, taken);
    at += taken;
    return taken;
}

std::string ReplyStream::ReadAll()
{
    std::string text = pending.substr(at);
    pending.clear();
    at = 0;
    while (more)
        more = next(text);
    return text;
}
