#include "library/LibraryTemplate.h"
#include <algorithm>
#include "json/StringHelpers.h"
#include "library/SafeName.h"

using namespace Library;

namespace
{
    const std::string extensionEnding = ".{ext}";

    // Calls `literal` for each text outside braces and `field` for each field name, in order;
    // false when a brace is left open or a closing one has no opening one.
    template <typename Literal, typename Field>
    bool Walk(const std::string& level, Literal literal, Field field)
    {
        size_t position = 0;
        while (position < level.size())
        {
            const size_t open = level.find('{', position);
            const size_t close = level.find('}', position);
            if (close < open)
                return false;
            literal(level.substr(position, open - position));
            if (open == std::string::npos)
                return true;
            if (close == std::string::npos)
                return false;
            field(level.substr(open + 1, close - open - 1));
            position = close + 1;
        }
        return true;
    }

    bool IsField(const std::string& name)
    {
        const std::vector<std::string>& fields = LibraryTemplate::Fields();
        return std::find(fields.begin(), fields.end(), name) != fields.end();
    }

    std::string Fill(const std::string& level, const std::map<std::string, std::string>& values)
    {
        std::string filled;
        Walk(
            level, [&filled](const std::string& text) { filled += text; },
            [&](const std::string& name) {
                const auto value = values.find(name);
                if (value != values.end())
                    filled += SafeName::OfField(value->second);
            });
        return filled;
    }
}

const std::vector<std::string>& LibraryTemplate::Fields()
{
    static const std::vector<std::string> fields = {"title",    "uploader",       "video_id",     "pelko_id",
                                                    "upload_date", "year",        "playlist",     "playlist_index",
                                                    "subscription", "mode",       "ext"};
    return fields;
}

bool LibraryTemplate::IsValid(const std::string& text)
{
    if (text.empty())
        return false;
    for (const std::string& level : Ostrel::Internal::StringHelpers::SplitString(text, '/'))
    {
        bool sound = !level.empty() && level != "." && level != "..";
        sound = sound && Walk(
                             level,
                             [&sound](const std::string& literal) {
                                 sound = sound && SafeName::OfField(literal) == literal;
                             },
                             [&sound](const std::string& name) { sound = sound && IsField(name); });
        if (!sound)
            return false;
    }
    return true;
}

LibraryName LibraryTemplate::Expand(const std::string& text, const std::map<std::string, std::string>& values)
{
    std::vector<std::string> levels = Ostrel::Internal::StringHelpers::SplitString(text, '/');
    LibraryName name;
    std::string last = levels.back();
    levels.pop_back();
    for (const std::string& level : levels)
        name.folders.push_back(SafeName::Finish(Fill(level, values)));

    if (last.size() > extensionEnding.size() && last.ends_with(extensionEnding))
    {
        const auto ext = values.find("ext");
        name.extension = ext == values.end() ? "" : SafeName::OfField(ext->second);
        last.resize(last.size() - extensionEnding.size());
    }
    name.stem = Fill(last, values);
    return name;
}
