#include "support/FakeDownloader.h"
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include "json/Json.h"

namespace TestSupport
{
    FakeDownloader::FakeDownloader(std::string logPath) : logPath(std::move(logPath))
    {
        const char* searchPath = getenv("PATH");
        previousSearchPath = searchPath ? searchPath : "";
        setenv("PATH", (Directory() + ":" + previousSearchPath).c_str(), 1);
        setenv("PELKO_FAKE_DOWNLOADER_LOG", this->logPath.c_str(), 1);
    }

    FakeDownloader::~FakeDownloader()
    {
        setenv("PATH", previousSearchPath.c_str(), 1);
        unsetenv("PELKO_FAKE_DOWNLOADER_LOG");
    }

    std::string FakeDownloader::Directory()
    {
        return (std::filesystem::path(__FILE__).parent_path() / "fake-downloader").string();
    }

    std::vector<std::vector<std::string>> FakeDownloader::Calls() const
    {
        std::vector<std::vector<std::string>> calls;
        std::ifstream in(logPath);
        std::string line;
        while (std::getline(in, line))
        {
            Ostrel::JsonData call;
            call.Parse(line);
            std::vector<std::string> arguments;
            for (size_t i = 1; i < call.GetArrayData().Size(); i++)
                arguments.push_back(call.GetArrayData().At(i).GetStringData());
            calls.push_back(arguments);
        }
        return calls;
    }
}
