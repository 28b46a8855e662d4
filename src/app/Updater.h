#pragma once
#include <string>

// Keeps the downloader program current: installs the latest official yt-dlp release as
// Pelko's own copy, which the server then prefers to the system's (Downloader::DownloaderProgram).
class Updater
{
public:
    // "OK" on success, "not implemented" where the platform has no updater, else an error text.
    static std::string UpdateYoutubeDL();

    // The release download folder of the latest official yt-dlp.
    static const char* const officialReleaseFolder;

    struct Outcome
    {
        bool installed = false;
        std::string version;  // of the installed program
        std::string error;    // when not installed: a sentence that says what went wrong
    };

    // Downloads "yt-dlp" and "SHA2-256SUMS" from the release folder `releaseFolderUrl`
    // (https://, or http:// to this machine only), checks the program against its sum and that
    // it answers --version here, then puts it in place of bin/yt-dlp in one step, mode 0755.
    // On any failure the program there stays as it was. Blocks for up to a few minutes, so it
    // belongs on a thread of its own; updates from several threads run one after the other.
    static Outcome InstallDownloader(const std::string& releaseFolderUrl);
};
