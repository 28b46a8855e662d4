#pragma once
#include <string>
#include "app/FileLayout.h"
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
        // The files are among the run's `scratch` files.
        RunFiles(const DownloaderProgramInfo& program, const FileLayout::Scratch& scratch);
        ~RunFiles();
        RunFiles(const RunFiles&) = delete;
        RunFiles& operator=(const RunFiles&) = delete;

        DownloaderProgramInfo program;  // as the run starts it
        std::string cookies;            // the copy of the cookies; empty when none are set

    private:
        std::string pinnedProgram;
    };
}
