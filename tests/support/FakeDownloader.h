#pragma once
#include <string>
#include <vector>

namespace TestSupport
{
    // Puts the fake youtube-dl of tests/support/fake-downloader (its switches are described
    // at its top) first on the search path, recording every call into `logPath`; restores
    // the environment on destruction. Set it up before the downloader resolves its program.
    class FakeDownloader
    {
    public:
        explicit FakeDownloader(std::string logPath);
        ~FakeDownloader();
        FakeDownloader(const FakeDownloader&) = delete;
        FakeDownloader& operator=(const FakeDownloader&) = delete;

        static std::string Directory();

        // The argument vector of every call so far, in call order, without the program.
        std::vector<std::vector<std::string>> Calls() const;
        // The program of every call so far, as it was started.
        std::vector<std::string> Programs() const;

        // Installs the fake as Pelko's own copy, bin/yt-dlp in the working directory, where it
        // plays yt-dlp; `version` is what it answers to --version.
        static void InstallAsOwnCopy(const std::string& version = "2024.01.01");

    private:
        std::string logPath;
        std::string previousSearchPath;
    };
}
