#pragma once
#include <string>
#include "downloader/DownloadEntry.h"
#include "json/Json.h"

namespace Library
{
    // What Kodi and Jellyfin read beside a library file: "<name>.nfo" (an <episodedetails>
    // document) and the picture "<name>-thumb.jpg"; and in a folder that holds one uploader's
    // videos, "tvshow.nfo" and "poster.jpg" for the show. Files already there are left as they are.
    class MediaServerFiles
    {
    public:
        // Writes them for the library file `placed` (relative to `libraryDir`); with `showFolder`
        // its first folder is the uploader's and gets the show's files. Runs on the download's
        // thread. Empty, or sentences that say what could not be written.
        static std::string Write(const std::string& libraryDir, const std::string& placed,
                                 const Downloader::DownloadEntry& entry, const Ostrel::JsonBlock& metadata,
                                 bool showFolder);

        // The documents' texts: UTF-8 XML, every text escaped as XML requires and without the
        // control characters that XML cannot hold.
        static std::string EpisodeDocument(const Downloader::DownloadEntry& entry, const Ostrel::JsonBlock& metadata);
        static std::string ShowDocument(const Downloader::DownloadEntry& entry, const Ostrel::JsonBlock& metadata);
    };
}
