#pragma once
#include <map>
#include <string>
#include <vector>
#include "library/LibraryName.h"

namespace Library
{
    // The setting library.template: "/" between folder levels, and fields in braces
    // ("{uploader}/{title} [{video_id}].{ext}") that a download's values fill in.
    class LibraryTemplate
    {
    public:
        // Every field a template may hold, without braces, in the order the page lists them.
        static const std::vector<std::string>& Fields();

        // True when `text` is a template: not empty, every brace a known field, no empty
        // level, "." or "..", and no character outside the fields that a name may not hold.
        static bool IsValid(const std::string& text);

        // The name `text` (a valid template) gives with `values` (field name to text; a missing
        // field is empty). No value can add a level or make a name unsafe (SafeName); the last
        // level ending in ".{ext}" keeps that extension whatever the cut.
        static LibraryName Expand(const std::string& text, const std::map<std::string, std::string>& values);
    };
}
