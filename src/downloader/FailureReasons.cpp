#include "downloader/FailureReasons.h"
#include <csignal>
#include <cstring>
#include <fstream>

namespace Downloader::FailureReasons
{
    const char* const noProgram = "No downloader program was found: install yt-dlp (or youtube-dl) and restart Pelko.";
    const char* const notStarted = "The downloader could not be started.";
    const char* const unreadableDetails = "The video's details could not be read.";
    const char* const cancelled = "Cancelled.";
    const char* const shutDownDuringFetch = "The server shut down before the video's details were read.";
    const char* const isPlaylist =
        "The address is a playlist, not a single video: queue it as a playlist to download its videos.";
    const char* const unreadablePlaylist = "The playlist could not be read.";
    const char* const emptyPlaylist = "The playlist holds no videos.";
    const char* const playlistPlaceGone = "The video is no longer on the playlist.";

    std::string LastErrorLine(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        std::string last;
        while (std::getline(in, line))
            if (line.rfind("ERROR:", 0) == 0)
                last = line;
        while (!last.empty() && (last.back() == '\r' || last.back() == ' '))
            last.pop_back();
        return last;
    }

    std::string OfExit(const std::string& errorOutputPath, int exitStatus, int signal)
    {
        const std::string own = LastErrorLine(errorOutputPath);
        if (!own.empty())
            return own;
        if (signal != 0)
        {
            const char* name = sigabbrev_np(signal);
            return "The downloader was ended by signal " + std::to_string(signal) +
                   (name != nullptr ? std::string(" (SIG") + name + ")" : std::string()) + ".";
        }
        return "The downloader ended with exit status " + std::to_string(exitStatus) + ".";
    }
}
