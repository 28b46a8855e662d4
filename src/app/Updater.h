#pragma once
#include <atomic>
#include <memory>
#include <string>

// Keeps the downloader program current: installs the latest official yt-dlp release as
// Pelko's own copy, which the server then prefers to the system's (Downloader::DownloaderProgram),
// and beside it deno, the JavaScript runtime that yt-dlp needs for YouTube.
class Updater
{
public:
    // The release download folder of the latest official yt-dlp.
    static const char* const officialReleaseFolder;
    // The release download folder of the latest official deno.
    static const char* const officialRuntimeFolder;

    struct Outcome
    {
        bool installed = false;
        std::string version;  // of the installed program
        std::string error;    // when not installed: a sentence that says what went wrong
    };

    // An update on its thread; the outcomes are written before `ended` turns true, and read after.
    struct Run
    {
        std::atomic<bool> ended = false;
        Outcome outcome;  // of yt-dlp
        Outcome runtime;  // of deno
    };

    // Start-up: updates may start (again).
    static void PreInit();
    // Main thread: starts InstallDownloader from the setting downloader.update_url, then
    // InstallJsRuntime from downloader.js_runtime_url, on a thread of its own, or hands back the update that runs already, so that every caller waits for
    // the same one.
    static std::shared_ptr<const Run> UpdateYoutubeDL();
    // Shut-down: an update under way is cut short (the old program stays) and has ended when
    // this returns; none starts any more until the next PreInit. Must run before the process ends.
    static void Stop();

    // Downloads "yt-dlp" and "SHA2-256SUMS" from the release folder `releaseFolderUrl`
    // (https://, or http:// to this machine only), checks the program against its sum and that
    // it answers --version here, then puts it in place of FileLayout::ownDownloader in one step, mode 0755.
    // On any failure, or once `*stop` turns true, the program there stays as it was. Blocks
    // for up to a few minutes, so it belongs on a thread of its own; updates from several
    // threads run one after the other.
    static Outcome InstallDownloader(const std::string& releaseFolderUrl, const std::atomic<bool>* stop = nullptr);

    // The same for deno: downloads this machine's "deno-<architecture>-unknown-linux-gnu.zip" and
    // its ".sha256sum", checks the sum, unpacks "deno" with unzip and checks that it answers
    // --version, then puts it in place of FileLayout::ownJsRuntime. The outcome's version is deno's own ("2.5.6").
    static Outcome InstallJsRuntime(const std::string& releaseFolderUrl, const std::atomic<bool>* stop = nullptr);
};
