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
        // Pelko's own deno, absolute, which the own copy is told to run for YouTube's scripts;
        // empty when there is none.
        std::string jsRuntime;
        std::string jsRuntimeVersion;  // its version number (RuntimeVersion); empty when unknown
    };

    // Which downloader program the server runs, and which version it is. Safe from any thread.
    class DownloaderProgram
    {
    public:
        // Pelko's own copy when it is an executable file, else youtube-dl on the search path,
        // else yt-dlp; with the own deno when that is an executable file. Leaves the version
        // empty: finding starts no program.
        static DownloaderProgramInfo Find();

        // The first line that `program --version` prints, without its line end; empty when the
        // program cannot be started, prints nothing, does not end with status 0, takes more
        // than half a minute or is stopped (`*stop` turns true).
        static std::string VersionOf(const std::string& program, const std::atomic<bool>* stop = nullptr);

        // The version number in deno's first line of --version
        // ("deno 2.5.6 (stable, release, x86_64-unknown-linux-gnu)" gives "2.5.6"); another
        // line as it is.
        static std::string RuntimeVersion(const std::string& firstLine);
    };
}
