#pragma once
#include <map>
#include <string>
#include "downloader/DownloadManager.h"

namespace Library
{
    // The library folder (library.dir): each finished download's file is placed there under the
    // name library.template gives it, for media players and file managers to find. The file is
    // the user's from then on: removing the entry or clearing the cache leaves it.
    class LibraryManager
    {
    public:
        // Start-up: hands the download manager the step that places finished files.
        static void PreInit();

        // The step for a download that starts now, with the library settings of now; null
        // while there is no library folder.
        static Downloader::FinishingStep StepForNewDownload();

        // The value of each template field for `entry`, its metadata document and the
        // extension of its file.
        static std::map<std::string, std::string> FieldsOf(const Downloader::DownloadEntry& entry,
                                                           const Ostrel::JsonBlock& metadata,
                                                           const std::string& extension);
    };
}
