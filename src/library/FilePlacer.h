#pragma once
#include <string>
#include "library/LibraryName.h"

namespace Library
{
    // Puts a finished download's file into the library without touching the file itself.
    class FilePlacer
    {
    public:
        // Makes `source` appear at `name` inside `libraryDir` (which must exist; missing folders
        // below it are made): as a hard link where the file system allows one, else as a copy
        // that is written under a hidden temporary name and renamed, so that a media server
        // never sees half a file. A name already taken gets " (2)", " (3)", ...; nothing is
        // ever replaced. True with `placed` (relative to `libraryDir`); false with `problem`,
        // a sentence, and nothing left behind.
        static bool Place(const std::string& source, const std::string& libraryDir, const LibraryName& name,
                          std::string& placed, std::string& problem);

        // Makes `source` appear at exactly `target` (a file beside a library file), in the same
        // ways, unless a file is there already: that one is the user's and stays. Empty, or a
        // sentence that says what failed.
        static std::string PlaceBeside(const std::string& source, const std::string& target);
    };
}
