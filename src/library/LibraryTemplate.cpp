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

    // The level with its fields filled in, at most `limit` bytes: the longest values are cut
    // first, so that the template's own text (" [{video_id}]") and the short fields survive.
    std::string Fill(const std::string& level, const std::map<std::string, std::string>& values, size_t limit)
    {
        struct Piece
        {
            std::string text;
            bool value;
        };
        std::vector<Piece> pieces;
        size_t total = 0;
        Walk(
            level, [&](const std::string& text) { pieces.push_back({text, false}); },
            [&](const std::string& name) {
                const auto value = values.find(name);
                pieces.push_back({value == values.end() ? "" : SafeName::OfField(value->second), true});
            });
        for (const Piece& piece : pieces)
            total += piece.text.size();
        while (total > limit)
        {
            Piece* longest = nullptr;
            size_t second = 0;
            for (Piece& piece : pieces)
            {
                if (!piece.value)
                    continue;
                if (!longest || piece.text.size() > longest->text.size())
                {
                    second = longest ? longest->text.size() : 0;
                    longest = &piece;
                }
                else
                    second = std::max(second, piece.text.size());
            }
            if (!longest || longest->text.empty())
                break;
            // Down to the next longest at most, so that long values end up about as long.
            const size_t before = longest->text.size();
            const size_t cut = std::min(total - limit, std::max<size_t>(1, before - second));
            size_t keep = before - cut;
            // A continuation byte is 10xxxxxx: step back to the start of its character.
            while (keep > 0 && (static_cast<unsigned char>(longest->text[keep]) & 0xC0) == 0x80)
                --keep;
            longest->text.resize(keep);
            total -= before - keep;
        }
        std::string filled;
        for (const Piece& piece : pieces)
            filled += piece.text;
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
        const bool balanced = Walk(
            level,
            [&sound](const std::string& literal) { sound = sound && SafeName::OfField(literal) == literal; },
            [&sound](const std::string& name) { sound = sound && IsField(name); });
        if (!balanced)
            return false;
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
        name.folders.push_back(SafeName::Finish(Fill(level, values, SafeName::maxBytes)));

    if (last.size() > extensionEnding.size() && last.ends_with(extensionEnding))
    {
        const auto ext = values.find("ext");
        name.extension = ext == values.end() ? "" : SafeName::OfField(ext->second);
        last.resize(last.size() - extensionEnding.size());
    }
    // Room for the extension and a number (" (1000)") that a taken name may need.
    const size_t room = name.extension.size() + 8;
    name.stem = Fill(last, values, SafeName::maxBytes > room ? SafeName::maxBytes - room : 0);
    return name;
}
