#pragma once
#include <optional>
#include "downloader/DownloaderProgram.h"

namespace Downloader
{
    // What clients are told of the downloader program in use, its version included, without
    // running the program on the main thread: the version is found on a thread of its own and
    // kept for as long as the program file stays the same. Main thread only.
    class DownloaderVersions
    {
    public:
        // The program in use (DownloaderProgram::Find) with its version and its JavaScript
        // runtime's when those are known; nothing while they are being found out: ask again.
        // Once stopped, without a version it does not know yet.
        static std::optional<DownloaderProgramInfo> Describe();

        // Shut-down: a lookup under way is stopped and has ended when this returns, and none
        // starts until Reset.
        static void Stop();
        // Start-up: forgets every version and lookups may start.
        static void Reset();
    };
}
