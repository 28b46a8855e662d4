#pragma once
#include <string>
#include "downloader/DownloaderProgram.h"

namespace Downloader
{
    // The files that one run of the downloader has to itself, made on the thread that starts it
    // and removed when it ends: a copy of the cookies (the downloader rewrites its cookie file),
    // and, of Pelko's own copy of the program, a link to the file as it is now, so that the run
    // keeps its program when an update puts a new one in its place.
    class RunFiles
    {
    public:
        // The files' names begin with `prefix` ("dlcache/dlprogbuf/<id>.metadata").
        RunFiles(const DownloaderProgramInfo& program, const std::string& prefix);
        ~RunFiles();
        RunFiles(const RunFiles&) = delete;
        RunFiles& operator=(const RunFiles&) = delete;

        DownloaderProgramInfo program;  // as the run starts it
        std::string cookies;            // the copy of the cookies; empty when none are set

    private:
        std::string pinnedProgram;
    };
}
