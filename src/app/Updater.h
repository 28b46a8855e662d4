#pragma once
#include <string>

// Updating the downloader tool is left to the system's package manager on Linux.
class Updater
{
public:
    // "OK" on success, "not implemented" where the platform has no updater, else an error text.
    static std::string UpdateYoutubeDL();
};
