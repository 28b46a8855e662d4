#pragma once
#include <atomic>
#include <string>

namespace Downloader
{
    struct DownloaderProgramInfo
    {
        std::string path;                // absolute; empty when there is no downloader program
        bool isOwnCopy = false;          // Pelko's own copy, installed by the updater
        bool takesYtDlpOptions = false;  // yt-dlp; a youtube-dl knows no format sorting or remuxing
        std::string version;             // first line of its --version; empty when it gave none
    };

    // Which downloader program the server runs, and which version it is. Safe from any thread.
    class DownloaderProgram
    {
    public:
        static const char* const ownCopyPath;  // "bin/yt-dlp", relative to the working directory

        // Pelko's own copy when it is an executable file, else youtube-dl on the search path,
        // else yt-dlp. Leaves the version empty: finding starts no program.
        static DownloaderProgramInfo Find();

        // The first line that `program --version` prints, without its line end; empty when the
        // program cannot be started, prints nothing, does not end with status 0, takes more
        // than half a minute or is stopped (`*stop` turns true).
        static std::string VersionOf(const std::string& program, const std::atomic<bool>* stop = nullptr);

    };
}
