#pragma once
#include <string>

namespace Downloader
{
    // Why a download failed, in the words its entry shows: the downloader program's own last
    // "ERROR:" line where it wrote one, else one of these sentences.
    namespace FailureReasons
    {
        extern const char* const noProgram;
        extern const char* const notStarted;
        extern const char* const unreadableDetails;
        extern const char* const cancelled;
        extern const char* const shutDownDuringFetch;
        extern const char* const isPlaylist;
        extern const char* const unreadablePlaylist;
        extern const char* const emptyPlaylist;
        extern const char* const playlistPlaceGone;

        // The last line of the file that begins "ERROR:"; empty when there is none.
        std::string LastErrorLine(const std::string& path);

        // The program's own reason, else a sentence about how it ended.
        std::string OfExit(const std::string& errorOutputPath, int exitStatus, int signal);
    }
}
