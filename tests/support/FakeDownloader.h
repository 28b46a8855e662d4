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

    private:
        std::string logPath;
        std::string previousSearchPath;
    };
}
