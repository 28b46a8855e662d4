#pragma once
#include <functional>
#include <memory>
#include <string>

namespace Rest
{
    // The text of the last reply of one kind of listing, kept while what it shows stays the
    // same: the page polls its listings every second or so, and several pages may be open.
    class ReplyMemo
    {
    public:
        // The text for `key` (everything the reply depends on), made by `render` unless it is the
        // one kept. Shared, so that replies under way keep theirs without a copy.
        std::shared_ptr<const std::string> For(const std::string& key, const std::function<std::string()>& render);

    private:
        std::string key;
        std::shared_ptr<const std::string> text;
    };
}
