#include "rest/ReplyMemo.h"

using namespace Rest;

const std::string& ReplyMemo::For(const std::string& wanted, const std::function<std::string()>& render)
{
    if (!filled || key != wanted)
    {
        // Emptied first, so that a render that throws leaves nothing stale behind.
        filled = false;
        text = render();
        key = wanted;
        filled = true;
    }
    return text;
}
