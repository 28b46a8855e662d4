#pragma once
#include <string>
#include <vector>

namespace Library
{
    // A library file's name, relative to the library folder, as it is to be created: its
    // folders, and its file name as a stem and an extension, so that a name already taken can
    // be told apart by a number between the two.
    struct LibraryName
    {
        std::vector<std::string> folders;
        std::string stem;
        std::string extension;  // without the dot; empty when the template gives none

        // The file name with " (number)" after the stem when `number` is above 1, cut so that
        // it stays within SafeName::maxBytes.
        std::string FileName(int number = 1) const;
        // The folders and FileName(number), joined by "/".
        std::string Path(int number = 1) const;
    };
}
