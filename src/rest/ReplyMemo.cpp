#include "rest/ReplyMemo.h"

using namespace Rest;

std::shared_ptr<const std::string> ReplyMemo::For(const std::string& wanted, const std::function<std::string()>& render)
{
    if (text == nullptr || key != wanted)
    {
        // Emptied first, so that a render that throws leaves nothing stale behind.
        text = nullptr;
        text = std::make_shared<const std::string>(render());
        key = wanted;
    }
    return text;
}
