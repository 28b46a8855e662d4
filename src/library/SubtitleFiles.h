#pragma once
#include <string>

namespace Library
{
    // The subtitles the downloader left beside a cached file ("<id>.<language>.srt"), for the
    // library: media players find them beside the video under its name.
    class SubtitleFiles
    {
    public:
        // Places each one beside `libraryFile` as "<its name without extension>.<language>.srt"
        // (FilePlacer::PlaceBeside). Empty, or sentences that say what could not be placed.
        static std::string PlaceBeside(const std::string& cachedFile, const std::string& libraryFile);
    };
}
