#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <chrono>
#include <thread>
#include "downloader/DownloaderProgram.h"
#include "downloader/DownloaderVersions.h"
#include "downloader/ExternalProgram.h"
#include "support/TempDir.h"

using Downloader::DownloaderProgram;
using Downloader::DownloaderProgramInfo;
namespace fs = std::filesystem;

namespace
{
    void WriteScript(const std::string& path, const std::string& body, mode_t mode = 0755)
    {
        if (fs::path(path).has_parent_path())
            fs::create_directories(fs::path(path).parent_path());
        TestSupport::WriteRaw(path, "#!/bin/sh\n" + body + "\n");
        chmod(path.c_str(), mode);
    }

    // Only `directory` is searched while it lives.
    class SearchPathOnly
    {
    public:
        explicit SearchPathOnly(const std::string& directory)
        {
            const char* previous = getenv("PATH");
            saved = previous ? previous : "";
            setenv("PATH", directory.c_str(), 1);
        }
        ~SearchPathOnly() { setenv("PATH", saved.c_str(), 1); }

    private:
        std::string saved;
    };
}

struct ProgramCase
{
    std::string name;
    bool ownCopy;
    mode_t ownCopyMode;
    bool youtubeDl;
    bool ytDlp;
    std::string expectedPath;  // relative to the working directory; empty for none
    bool isOwnCopy;
    bool takesYtDlpOptions;
};

class ProgramChoiceTest : public ::testing::TestWithParam<ProgramCase>
{
protected:
    TestSupport::TempDir directory{true};
};

TEST_P(ProgramChoiceTest, PrefersTheOwnCopyThenYoutubeDlThenYtDlp)
{
    const ProgramCase& setup = GetParam();
    if (setup.ownCopy)
        WriteScript("bin/yt-dlp", "echo own", setup.ownCopyMode);
    if (setup.youtubeDl)
        WriteScript("path/youtube-dl", "echo youtube-dl");
    if (setup.ytDlp)
        WriteScript("path/yt-dlp", "echo yt-dlp");
    fs::create_directories("path");
    SearchPathOnly searchPath(directory / "path");

    const DownloaderProgramInfo info = DownloaderProgram::Find();

    EXPECT_EQ(info.path, setup.expectedPath.empty() ? "" : directory / setup.expectedPath);
    EXPECT_EQ(info.isOwnCopy, setup.isOwnCopy);
    EXPECT_EQ(info.takesYtDlpOptions, setup.takesYtDlpOptions);
    EXPECT_EQ(info.version, "");
}

INSTANTIATE_TEST_SUITE_P(
    Setups, ProgramChoiceTest,
    ::testing::Values(ProgramCase{"OwnCopyFirst", true, 0755, true, true, "bin/yt-dlp", true, true},
                      ProgramCase{"OwnCopyNotExecutable", true, 0644, true, true, "path/youtube-dl", false, false},
                      ProgramCase{"YtDlpLast", false, 0, false, true, "path/yt-dlp", false, true},
                      ProgramCase{"None", false, 0, false, false, "", false, false}),
    [](const ::testing::TestParamInfo<ProgramCase>& info) { return info.param.name; });

TEST(DownloaderProgramVersion, FirstLineOfASuccessfulRun)
{
    TestSupport::TempDir directory{true};
    WriteScript("two-lines", "printf '2024.01.02\\r\\nsecond line\\n'");
    WriteScript("failing", "echo 2024.01.02; exit 1");
    WriteScript("silent", "true");
    fs::create_directories("bin/yt-dlp");  // a directory where the own copy belongs is no program

    EXPECT_EQ(DownloaderProgram::VersionOf(directory / "two-lines"), "2024.01.02");
    EXPECT_EQ(DownloaderProgram::VersionOf(directory / "failing"), "");
    EXPECT_EQ(DownloaderProgram::VersionOf(directory / "silent"), "");
    EXPECT_EQ(DownloaderProgram::VersionOf(directory / "missing"), "");
    EXPECT_EQ(DownloaderProgram::VersionOf(""), "");
    EXPECT_FALSE(DownloaderProgram::Find().isOwnCopy);
}

TEST(DownloaderProgramVersion, TheSystemYtDlpAnswersWithItsReleaseDate)
{
    const std::string ytDlp = Downloader::ExternalProgram::FindOnSearchPath("yt-dlp");
    ASSERT_FALSE(ytDlp.empty()) << "yt-dlp is missing (./pelko.sh test installs it)";
    EXPECT_TRUE(std::regex_match(DownloaderProgram::VersionOf(ytDlp), std::regex(R"(\d{4}\.\d{2}\.\d{2}(\.\d+)?)")));
}

// The version is found on a thread of its own, once for each state of the program file.
TEST(DownloaderVersions, FoundBesideTheMainThreadAndKeptWhileTheFileStays)
{
    TestSupport::TempDir directory{true};
    const SearchPathOnly searchPath(directory / "none");
    Downloader::DownloaderVersions::Reset();
    WriteScript("bin/yt-dlp", "echo run >> runs.log; echo 2024.01.01");

    const auto WaitForDescription = [] {
        for (int attempt = 0; attempt < 3000; attempt++)
        {
            if (const auto described = Downloader::DownloaderVersions::Describe())
                return *described;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return DownloaderProgramInfo{};
    };
    EXPECT_FALSE(Downloader::DownloaderVersions::Describe().has_value());
    EXPECT_EQ(WaitForDescription().version, "2024.01.01");
    EXPECT_EQ(WaitForDescription().version, "2024.01.01");
    EXPECT_EQ(TestSupport::ReadRaw("runs.log"), "run\n");

    // A new program in its place, in one step, as the updater puts it there.
    WriteScript("bin/yt-dlp.new", "echo run >> runs.log; echo 2024.02.02");
    fs::rename("bin/yt-dlp.new", "bin/yt-dlp");
    const DownloaderProgramInfo updated = WaitForDescription();
    EXPECT_EQ(updated.version, "2024.02.02");
    EXPECT_TRUE(updated.isOwnCopy);
    EXPECT_EQ(TestSupport::ReadRaw("runs.log"), "run\nrun\n");

    // Once stopped, a program not known yet is described without a version, at once.
    WriteScript("bin/yt-dlp.new", "sleep 30; echo 2024.03.03");
    fs::rename("bin/yt-dlp.new", "bin/yt-dlp");
    EXPECT_FALSE(Downloader::DownloaderVersions::Describe().has_value());
    Downloader::DownloaderVersions::Stop();
    const std::optional<DownloaderProgramInfo> stopped = Downloader::DownloaderVersions::Describe();
    ASSERT_TRUE(stopped.has_value());
    EXPECT_EQ(stopped->version, "");
    Downloader::DownloaderVersions::Reset();
}

// Pelko's own deno is found beside the program, and its version beside the program's.
TEST(DownloaderVersions, TheRuntimeVersionIsFoundBesideTheProgramVersion)
{
    TestSupport::TempDir directory{true};
    const SearchPathOnly searchPath(directory / "none");
    Downloader::DownloaderVersions::Reset();
    WriteScript("bin/yt-dlp", "echo 2024.01.01");
    WriteScript("bin/deno", "echo 'deno 2.5.6 (stable, release, x86_64-unknown-linux-gnu)'; echo 'v8 14.0'");

    std::optional<DownloaderProgramInfo> described;
    for (int attempt = 0; attempt < 3000 && !described; attempt++, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
        described = Downloader::DownloaderVersions::Describe();
    ASSERT_TRUE(described.has_value());
    EXPECT_EQ(described->version, "2024.01.01");
    EXPECT_EQ(described->jsRuntime, directory / "bin/deno");
    EXPECT_EQ(described->jsRuntimeVersion, "2.5.6");

    // Without an executable deno there is neither a runtime nor its version.
    chmod("bin/deno", 0644);
    described = Downloader::DownloaderVersions::Describe();
    ASSERT_TRUE(described.has_value());
    EXPECT_EQ(described->jsRuntime, "");
    EXPECT_EQ(described->jsRuntimeVersion, "");
    Downloader::DownloaderVersions::Stop();
    Downloader::DownloaderVersions::Reset();
}
