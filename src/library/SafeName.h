#pragma once
#include <cstddef>
#include <string>

namespace Library
{
    // Names of the library's files and folders that every file system and Windows share takes,
    // whatever the metadata they are made of holds.
    class SafeName
    {
    public:
        // The longest name, in bytes, of one file or folder.
        static constexpr std::size_t maxBytes = 200;

        // A field's text as part of a name: characters that would add a folder level or that
        // Windows refuses become "_", control characters (line ends, tabs) a space, bytes that
        // are not UTF-8 "_".
        static std::string OfField(const std::string& text);

        // One whole file or folder name, at most `limit` bytes: no leading dot or space, no
        // trailing dot or space, no name that Windows reserves for devices ("CON", "lpt1.txt"),
        // cut on a character boundary; "_" when nothing is left.
        static std::string Finish(std::string name, std::size_t limit = maxBytes);
    };
}
