#pragma once
#include <cstddef>
#include <string>

namespace Downloader
{
    // The cookies that the downloader sends for sites that demand a sign-in: one Netscape
    // cookies.txt in the working directory, readable by the server's user alone. The text is
    // never logged. Set and Clear replace or remove the file in one step, so a CopyForRun
    // on another thread sees the old cookies or the new ones, never a mix.
    class Cookies
    {
    public:
        static constexpr size_t maxSize = 1024 * 1024;

        // Empty when `text` is a Netscape cookies.txt that the downloader can load, else a
        // sentence that says why it is not one.
        static std::string Check(const std::string& text);

        // Checks `text` and keeps it, mode 0600 from the first byte on. Empty on success,
        // else the sentence of Check or one that says the file could not be written.
        static std::string Set(const std::string& text);
        // Removes the kept cookies; true when there were any.
        static bool Clear();
        static bool IsSet();

        // The downloader rewrites the cookie file it is given when it ends, and runs at the
        // same time would overwrite each other's: so every run gets a private copy (mode 0600)
        // at `destination`, which its caller removes afterwards. False when no cookies are set
        // or the copy could not be written.
        static bool CopyForRun(const std::string& destination);
    };
}
