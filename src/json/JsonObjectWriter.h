#pragma once
#include <string>
#include <string_view>

namespace Ostrel
{
    // Writes one object member by member into `out`, exactly as a JsonBlock holding those
    // members renders: for objects rendered often or in great numbers, without a tree. The
    // members must come in the order the block would render them (by label).
    class JsonObjectWriter
    {
    public:
        // The object starts at nesting level `depth` of the line it begins on.
        JsonObjectWriter(std::string& out, unsigned int depth, bool minify);

        // Everything before the next member's value: the caller then appends the value, rendered
        // at ValueDepth(). The typed members below do both.
        void Label(std::string_view label);
        unsigned int ValueDepth() const { return depth + 1; }
        void Member(std::string_view label, std::string_view text);
        void Member(std::string_view label, const char* text) { Member(label, std::string_view(text)); }
        void Member(std::string_view label, long long number);
        void Member(std::string_view label, bool value);
        // Closes the object ("{}" when it has no member).
        void End();

    private:
        std::string& out;
        unsigned int depth;
        bool minify;
        bool empty = true;
    };
}
