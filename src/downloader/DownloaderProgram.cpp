#include "downloader/DownloaderProgram.h"
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include "app/FileLayout.h"
#include "downloader/ExternalProgram.h"

using namespace Downloader;

namespace
{
    // yt-dlp answers in well under a second; a loaded machine may take a few.
    constexpr int versionSeconds = 30;

    bool IsExecutableFile(const std::string& path)
    {
        struct stat info{};
        return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
    }
}

DownloaderProgramInfo DownloaderProgram::Find()
{
    DownloaderProgramInfo info;
    if (IsExecutableFile(FileLayout::ownJsRuntime))
        info.jsRuntime = std::filesystem::absolute(FileLayout::ownJsRuntime).lexically_normal().string();
    if (IsExecutableFile(FileLayout::ownDownloader))
    {
        info.path = std::filesystem::absolute(FileLayout::ownDownloader).lexically_normal().string();
        info.isOwnCopy = true;
        info.takesYtDlpOptions = true;
        return info;
    }
    // youtube-dl first, as ever: whoever installed it wants it.
    info.path = ExternalProgram::FindOnSearchPath("youtube-dl");
    if (info.path.empty())
    {
        info.path = ExternalProgram::FindOnSearchPath("yt-dlp");
        info.takesYtDlpOptions = !info.path.empty();
    }
    if (!info.path.empty())
        info.path = std::filesystem::absolute(info.path).lexically_normal().string();
    return info;
}

std::string DownloaderProgram::VersionOf(const std::string& program, const std::atomic<bool>* stop)
{
    if (program.empty())
        return "";

    std::string outputPath = (std::filesystem::temp_directory_path() / "pelko-version-XXXXXX").string();
    const int descriptor = mkstemp(outputPath.data());
    if (descriptor < 0)
        return "";
    close(descriptor);

    // A program that hangs instead of answering must not hold its caller for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(versionSeconds);
    std::atomic<bool> tooLate{false};
    const ExternalProgram::Outcome outcome = ExternalProgram::Run(
        {program, "--version"}, outputPath, "", &tooLate,
        [&] { tooLate = std::chrono::steady_clock::now() >= deadline || (stop != nullptr && *stop); });
    std::string line;
    {
        std::ifstream output(outputPath);
        std::getline(output, line);
    }
    std::filesystem::remove(outputPath);
    if (outcome.exitStatus != 0)
        return "";

    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    return line;
}

std::string DownloaderProgram::RuntimeVersion(const std::string& firstLine)
{
    const std::string prefix = "deno ";
    if (!firstLine.starts_with(prefix))
        return firstLine;
    const std::string rest = firstLine.substr(prefix.size());
    return rest.substr(0, rest.find(' '));
}
