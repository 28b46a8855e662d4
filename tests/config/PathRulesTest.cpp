#include <gtest/gtest.h>
#include <filesystem>
#include "config/XGConfig.h"
#include "json/Json.h"
#include "logging/LogHistory.h"
#include "support/TempDir.h"

using namespace Ostrel;
using TestSupport::WriteRaw;
namespace fs = std::filesystem;

namespace
{
    const std::string outside = "The path leads outside the server's working directory (symbolic links followed).";
    const std::string notPlain = "The path must be relative to the working directory and made of plain names (no "
                                 "\"..\", \".\", leading \"/\" or empty parts).";

    JsonBlock ParseBlock(const std::string& text)
    {
        JsonData data;
        data.Parse(text);
        return data.GetJsonData();
    }
}

struct PathChange
{
    std::string changes;
    std::vector<std::pair<std::string, std::string>> refused;  // path and reason; empty: all taken
};

void PrintTo(const PathChange& c, std::ostream* os)
{
    *os << c.changes;
}

// The layout of the run command: the working directory run/ holds a symlink "frontend" to the
// repository's front end beside it, plus a few links a careless administrator might leave.
class PathRulesTest : public ::testing::TestWithParam<PathChange>
{
protected:
    void SetUp() override
    {
        fs::create_directories(repository / "frontend/js");
        WriteRaw(repository / "frontend/index.html", "<h1>Pelko</h1>");
        WriteRaw(repository / "frontend/js/app.js", "");
        fs::create_directories(repository / "run/dlcache");
        fs::create_directory_symlink("../frontend", repository / "run/frontend");
        fs::create_directory_symlink("/", repository / "run/root");
        fs::create_directory_symlink(".", repository / "run/here");
        fs::create_symlink(repository / "elsewhere/new.txt", repository / "run/dangling");
        fs::create_directory(repository / "media");
        fs::create_directory(repository / "run/videos");
        WriteRaw(repository / "notes.txt", "");
        fs::current_path(repository / "run");

        Logging::LogHistory::PreInit();
        ::testing::internal::CaptureStdout();
        XGConfig::PreInit();
    }
    void TearDown() override
    {
        XGConfig::PostExit();
        ::testing::internal::GetCapturedStdout();
        Logging::LogHistory::PostExit();
    }

    std::vector<std::pair<std::string, std::string>> Refused(const std::string& changes)
    {
        JsonBlock block = ParseBlock(changes);
        std::vector<std::pair<std::string, std::string>> found;
        for (const XGConfig::Refusal& refusal : XGConfig::RefuseClientChanges(block))
            found.emplace_back(refusal.path, refusal.reason);
        return found;
    }

    TestSupport::TempDir repository{true};
};

TEST_P(PathRulesTest, KeepsPathsInsideAndOffTheServersOwnFiles)
{
    EXPECT_EQ(Refused(GetParam().changes), GetParam().refused);
}

INSTANTIATE_TEST_SUITE_P(
    Layout, PathRulesTest,
    ::testing::Values(
        // Through the front end's symlink: the cache clear deleted its files, a log planted a script.
        PathChange{R"({"downloader": {"cachedir": "frontend/js"}})", {{"downloader.cachedir", outside}}},
        PathChange{R"({"logging": {"logfile_text": "frontend/index.html"}})", {{"logging.logfile_text", outside}}},
        PathChange{R"({"downloader": {"cachedir": "root/tmp"}})", {{"downloader.cachedir", outside}}},
        // The working directory itself as the cache would be emptied by the next clear.
        PathChange{R"({"downloader": {"cachedir": "here"}})", {{"downloader.cachedir", outside}}},
        // A link to a file that does not exist yet: writing the log would create it outside.
        PathChange{R"({"logging": {"logfile_text": "dangling"}})", {{"logging.logfile_text", outside}}},
        PathChange{R"({"logging": {"logfile_text": "../outside.txt"}})", {{"logging.logfile_text", notPlain}}},
        PathChange{R"({"downloader": {"cachedir": "/"}})", {{"downloader.cachedir", notPlain}}},
        PathChange{R"({"httpServer": {"rootdir": "www//js"}})", {{"httpServer.rootdir", notPlain}}},
        // The server's own files.
        PathChange{R"({"logging": {"logfile_json": "dlcache/index.json"}})",
                   {{"logging.logfile_json", "The path would touch the download cache directory \"dlcache\"."}}},
        PathChange{R"({"logging": {"logfile_json": "config.json"}})",
                   {{"logging.logfile_json", "The path would touch the settings file \"config.json\"."}}},
        PathChange{R"({"logging": {"logfile_text": "config.json___"}})",
                   {{"logging.logfile_text", "The path would touch the settings backup \"config.json___\"."}}},
        PathChange{R"({"logging": {"logfile_text": "log.json"}})",
                   {{"logging.logfile_text", "The path would touch the JSON log \"log.json\"."}}},
        PathChange{R"({"logging": {"logfile_json": "cookies.txt"}})",
                   {{"logging.logfile_json", "The path would touch the cookies file \"cookies.txt\"."}}},
        PathChange{R"({"downloader": {"cachedir": "bin"}})",
                   {{"downloader.cachedir", "The path would touch the downloader programs directory \"bin\"."}}},
        PathChange{R"({"httpServer": {"rootdir": "dlcache/download"}})",
                   {{"httpServer.rootdir", "The path would touch the download cache directory \"dlcache\"."}}},
        // Two changes in one request that would meet each other are both refused.
        PathChange{R"({"downloader": {"cachedir": "media"}, "logging": {"logfile_text": "media/log.txt"}})",
                   {{"logging.logfile_text", "The path would touch the download cache directory \"media\"."},
                    {"downloader.cachedir", "The path would touch the text log \"media/log.txt\"."}}},
        // Places of their own, and values that stay as they are (the front end is the run
        // command's link: it was the administrator's choice).
        PathChange{R"({"downloader": {"cachedir": "media/cache"}, "logging": {"logfile_text": "logs/pelko.txt"}})",
                   {}},
        PathChange{R"({"httpServer": {"rootdir": "frontend"}, "downloader": {"cachedir": "dlcache"}})", {}},
        // The library may lie anywhere, but must be a writable directory off the server's files.
        PathChange{R"({"library": {"dir": "../media"}})", {}},
        PathChange{R"({"library": {"dir": ""}})", {}},
        PathChange{R"({"library": {"dir": "../gone"}})", {{"library.dir", "The directory does not exist."}}},
        PathChange{R"({"library": {"dir": "../notes.txt"}})", {{"library.dir", "The path is not a directory."}}},
        // Nobody writes into the top of /proc/sys, whoever they are.
        PathChange{R"({"library": {"dir": "/proc/sys"}})",
                   {{"library.dir", "The server cannot write to the directory."}}},
        PathChange{R"({"library": {"dir": "."}})",
                   {{"library.dir", "The path would touch the settings file \"config.json\"."}}},
        PathChange{R"({"library": {"dir": "frontend"}})",
                   {{"library.dir", "The path would touch the front-end directory \"frontend\"."}}},
        PathChange{R"({"library": {"dir": "dlcache"}})",
                   {{"library.dir", "The path would touch the download cache directory \"dlcache\"."}}},
        PathChange{R"({"library": {"dir": "videos"}, "downloader": {"cachedir": "videos/cache"}})",
                   {{"downloader.cachedir", "The path would touch the library folder \"videos\"."},
                    {"library.dir", "The path would touch the download cache directory \"videos/cache\"."}}},
        PathChange{R"({"library": {"dir": "videos"}, "logging": {"logfile_text": "videos.txt"}})", {}}));

// The cache directory changes only with a restart: until then the old one is still the cache.
TEST_F(PathRulesTest, TheCacheInUseStaysProtectedUntilTheRestart)
{
    XGConfig::LoadFromJson(ParseBlock(R"({"downloader": {"cachedir": "newcache"}})"));
    EXPECT_EQ(Refused(R"({"logging": {"logfile_json": "dlcache/index.json"}})"),
              (std::vector<std::pair<std::string, std::string>>{
                  {"logging.logfile_json", "The path would touch the download cache directory \"dlcache\"."}}));
}
