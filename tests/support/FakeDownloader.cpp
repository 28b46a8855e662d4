#include "support/FakeDownloader.h"
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include "json/Json.h"
#include "support/SupportDirectory.h"
#include "support/TempDir.h"

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
        // From the build, not __FILE__: a compiler cache may make that path relative.
        return (std::filesystem::path(supportDirectory) / "fake-downloader").string();
    }

    namespace
    {
        std::vector<std::vector<std::string>> ReadCalls(const std::string& logPath)
        {
            std::vector<std::vector<std::string>> calls;
            std::ifstream in(logPath);
            std::string line;
            while (std::getline(in, line))
            {
                Ostrel::JsonData call;
                call.Parse(line);
                std::vector<std::string> arguments;
                for (size_t i = 0; i < call.GetArrayData().Size(); i++)
                    arguments.push_back(call.GetArrayData().At(i).GetStringData());
                calls.push_back(arguments);
            }
            return calls;
        }
    }

    std::vector<std::vector<std::string>> FakeDownloader::Calls() const
    {
        std::vector<std::vector<std::string>> calls = ReadCalls(logPath);
        for (std::vector<std::string>& call : calls)
            call.erase(call.begin());
        return calls;
    }

    std::vector<std::string> FakeDownloader::Programs() const
    {
        std::vector<std::string> programs;
        for (const std::vector<std::string>& call : ReadCalls(logPath))
            programs.push_back(call.front());
        return programs;
    }

    void FakeDownloader::InstallAsOwnCopy(const std::string& version)
    {
        std::string script = ReadRaw(Directory() + "/youtube-dl");
        const std::string versionLine = "VERSION = \"2021.12.17\"";
        script.replace(script.find(versionLine), versionLine.size(), "VERSION = \"" + version + "\"");
        std::filesystem::create_directories("bin");
        // In one step, as the updater does: a run that started the old one keeps it.
        WriteRaw("bin/yt-dlp.new", script);
        std::filesystem::permissions("bin/yt-dlp.new", std::filesystem::perms::owner_all);
        std::filesystem::rename("bin/yt-dlp.new", "bin/yt-dlp");
    }
}
