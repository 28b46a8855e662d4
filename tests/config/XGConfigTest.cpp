#include <gtest/gtest.h>
#include <filesystem>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include "config/XGConfig.h"
#include "json/Json.h"
#include "logging/LogHistory.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

using namespace Ostrel;
using TestSupport::ReadRaw;
using TestSupport::WriteRaw;
namespace fs = std::filesystem;

namespace
{
    const std::string defaultDocument = R"({
  "access": {
    "allowed_hosts": [],
    "enable_whitelist": false,
    "only_allow_localhost": false,
    "password_hash": "",
    "whitelist": [
      "127.0.0.1"
    ]
  },
  "downloader": {
    "cachedir": "dlcache",
    "js_runtime_url": "https://github.com/denoland/deno/releases/latest/download/",
    "max_dlrate_per_thread": "100M",
    "num_threads": 1,
    "sponsorblock": "off",
    "sponsorblock_api": "https://sponsor.ajay.app",
    "sponsorblock_categories": "sponsor",
    "update_url": "https://github.com/yt-dlp/yt-dlp/releases/latest/download/"
  },
  "general": {
    "show_console": true
  },
  "httpServer": {
    "polling_rate": 100,
    "port": "6969",
    "rootdir": "frontend",
    "tls_certificate": "",
    "tls_key": ""
  },
  "library": {
    "dir": "",
    "nfo": true,
    "subtitles": "",
    "template": "{uploader}/{title} [{video_id}].{ext}"
  },
  "logging": {
    "autosave_interval": 1800,
    "logfile_json": "log.json",
    "logfile_text": "log.txt"
  },
  "notifications": {
    "apprise_events": [
      "finished",
      "failed",
      "subscription_error"
    ],
    "apprise_urls": [],
    "webhooks": []
  },
  "subscriptions": {
    "feed_url": "https://www.youtube.com/feeds/videos.xml",
    "listing_size": 50
  }
})";

    JsonBlock ParseBlock(const std::string& text)
    {
        JsonData data;
        data.Parse(text);
        return data.GetJsonData();
    }

    std::string Rendered(const JsonBlock& block)
    {
        return JsonData(block).Render(false);
    }
}

// Each test works in an empty working directory of its own, as the server does.
class XGConfigTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Logging::LogHistory::PreInit();
        ::testing::internal::CaptureStdout();
    }
    void TearDown() override
    {
        ::testing::internal::GetCapturedStdout();
        Logging::LogHistory::PostExit();
    }

    TestSupport::TempDir workingDirectory{true};
};

TEST_F(XGConfigTest, FirstStartWritesTheCompleteDefaultDocument)
{
    XGConfig::PreInit();

    EXPECT_EQ(ReadRaw("config.json"), defaultDocument);
    EXPECT_FALSE(fs::exists("config.json___"));
    const auto entries = TestSupport::EntriesOf("Config");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].message, "Saving config...");
    EXPECT_EQ(entries[1].message, "Config file not found. Created default one.");
    EXPECT_EQ(entries[1].type, Logging::WARN);
    EXPECT_EQ(Rendered(XGConfig::GetSavefileBuffer()), defaultDocument);

    XGConfig::PostExit();
}

TEST_F(XGConfigTest, APartialFileOverlaysTheDefaultsAndIsCompletedAtShutDown)
{
    const std::string partial = "{\"httpServer\": {\"port\": \"8000\"}, \"unused\": 1}";
    WriteRaw("config.json", partial);

    XGConfig::PreInit();

    EXPECT_EQ(XGConfig::httpServer.port, "8000");
    EXPECT_EQ(XGConfig::httpServer.polling_rate, 100);
    EXPECT_EQ(XGConfig::downloader.cachedir, "dlcache");
    EXPECT_EQ(TestSupport::MessagesOf("Config"), std::vector<std::string>{"Loaded config file"});
    EXPECT_EQ(ReadRaw("config.json"), partial) << "the file must not be rewritten at start";
    EXPECT_TRUE(XGConfig::GetSavefileBuffer().DoesExist("unused"));

    XGConfig::PostExit();

    std::string expected = defaultDocument;
    expected.replace(expected.find("\"6969\""), 6, "\"8000\"");
    EXPECT_EQ(ReadRaw("config.json"), expected);
    EXPECT_FALSE(XGConfig::GetSavefileBuffer().DoesExist("unused"));
}

struct UnusableFile
{
    std::string content;
    std::string warning;
};

class UnusableConfigTest : public XGConfigTest, public ::testing::WithParamInterface<UnusableFile>
{
};

TEST_P(UnusableConfigTest, KeepsTheDefaultsAndIsReplacedAtTheNextSave)
{
    WriteRaw("config.json", GetParam().content);

    XGConfig::PreInit();

    EXPECT_EQ(Rendered(XGConfig::CreateJson()), defaultDocument);
    const auto entries = TestSupport::EntriesOf("Config");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].type, Logging::WARN);
    EXPECT_EQ(entries[0].message, GetParam().warning);
    EXPECT_EQ(entries[1].message, "Loaded config file");
    EXPECT_EQ(ReadRaw("config.json"), GetParam().content);

    XGConfig::PostExit();
    EXPECT_EQ(ReadRaw("config.json"), defaultDocument);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnusableConfigTest,
    ::testing::Values(
        UnusableFile{"{\"httpServer\": {\"port\": \"8000\"", "Unable to parse config file to \"config.json\" because it's json syntax is most likely fucked up!"},
        UnusableFile{"", "Unable to parse config file to \"config.json\" because it's json syntax is most likely fucked up!"},
        UnusableFile{"[{\"httpServer\": {\"port\": \"8000\"}}]", "Unable to load config file because its content is not of json-type json!"},
        UnusableFile{"\"text\"", "Unable to load config file because its content is not of json-type json!"}));

TEST_F(XGConfigTest, LoadFromJsonTakesOnlyExactTypesAtTheirOwnPaths)
{
    XGConfig::LoadDefaultValues();
    XGConfig::LoadFromJson(ParseBlock(R"({
        "httpServer": {"port": 8000, "polling_rate": 2.5, "rootdir": "www"},
        "logging": {"autosave_interval": 60},
        "downloader": {"num_threads": 3, "cachedir": null},
        "general": {"show_console": "false"},
        "access": {"enable_whitelist": true, "whitelist": ["10.0.0.1", 5, "10.0.0.2", {"x": 1}]},
        "port": "9999"
    })"));

    EXPECT_EQ(XGConfig::httpServer.port, "6969");
    EXPECT_EQ(XGConfig::httpServer.polling_rate, 100);
    EXPECT_EQ(XGConfig::httpServer.rootdir, "www");
    EXPECT_EQ(XGConfig::logging.autosave_interval, 60);
    EXPECT_EQ(XGConfig::downloader.num_threads, 3);
    EXPECT_EQ(XGConfig::downloader.cachedir, "dlcache");
    EXPECT_TRUE(XGConfig::general.show_console);
    EXPECT_TRUE(XGConfig::access.enable_whitelist);
    EXPECT_EQ(XGConfig::access.whitelist, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
    // The buffer holds what was given, wrong types included, until the next save.
    EXPECT_EQ(XGConfig::GetSavefileBuffer().ShorthandGet("httpServer.port", '.').GetDataType(), INT);
}

TEST_F(XGConfigTest, LoadFromJsonOfAnEmptyObjectChangesNothing)
{
    XGConfig::LoadDefaultValues();
    XGConfig::LoadFromJson(JsonBlock());
    EXPECT_EQ(Rendered(XGConfig::CreateJson()), defaultDocument);
    EXPECT_EQ(XGConfig::GetSavefileBuffer().GetNumElements(), 0u);
}

TEST_F(XGConfigTest, LoadFromJsonOfItsOwnBufferKeepsIt)
{
    XGConfig::LoadDefaultValues();
    XGConfig::LoadFromJson(ParseBlock(R"({"downloader": {"num_threads": 4}})"));
    XGConfig::LoadFromJson(XGConfig::GetSavefileBuffer());
    EXPECT_EQ(XGConfig::downloader.num_threads, 4);
    EXPECT_TRUE(XGConfig::GetSavefileBuffer().DoesShorthandExist("downloader.num_threads", '.'));
}

TEST_F(XGConfigTest, AnEmptyWhitelistArrayEmptiesTheList)
{
    XGConfig::LoadDefaultValues();
    XGConfig::LoadFromJson(ParseBlock(R"({"access": {"whitelist": [1, true]}})"));
    EXPECT_TRUE(XGConfig::access.whitelist.empty());
}

TEST_F(XGConfigTest, IsJsonFieldValidNeedsThePathAndTheExactType)
{
    const JsonBlock json = ParseBlock(R"({"httpServer": {"port": "1"}, "logging": 5})");
    EXPECT_TRUE(XGConfig::IsJsonFieldValid(json, "httpServer.port", STRING));
    EXPECT_FALSE(XGConfig::IsJsonFieldValid(json, "httpServer.port", INT));
    EXPECT_FALSE(XGConfig::IsJsonFieldValid(json, "downloader.cachedir", STRING));
    EXPECT_FALSE(XGConfig::IsJsonFieldValid(json, "logging.logfile_text", STRING));
}

// A directory the server may not write to: as root, permissions do not bind, so the save
// runs in a child process that gives up its rights first.
TEST_F(XGConfigTest, ASaveThatCannotWriteReportsItAndLeavesTheOldFile)
{
    const std::string old = "{\"httpServer\": {\"port\": \"7000\"}}";
    WriteRaw("config.json", old);
    chmod(".", 0555);
    chmod("config.json", 0444);

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
        if (geteuid() == 0 && setuid(65534) != 0)
            _exit(3);
        XGConfig::PreInit();
        XGConfig::Save();
        const auto entries = TestSupport::EntriesOf("Config");
        const bool reported = !entries.empty() && entries.back().type == Logging::ERR &&
                              entries.back().message == "Unable to save config file \"config.json\"";
        _exit(reported ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    chmod(".", 0755);

    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadRaw("config.json"), old);
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

// A disk that is full for config.json (a file-size limit stands in for it): the failure and its
// reason reach the caller, the running settings go back to what the file holds, and no backup
// is left behind. Run in a child, so that the limit binds nothing else.
TEST_F(XGConfigTest, AChangeThatCannotBeSavedIsReportedAndUndone)
{
    const std::string old = "{\"downloader\": {\"num_threads\": 2}}";
    WriteRaw("config.json", old);

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
        XGConfig::PreInit();
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200, 200};  // the old file fits, the full document does not
        setrlimit(RLIMIT_FSIZE, &limit);

        std::string problem;
        const bool saved = XGConfig::ChangeAndSave([] { XGConfig::downloader.num_threads = 5; }, problem);
        const bool undone = XGConfig::downloader.num_threads == 2 &&
                            XGConfig::GetSavefileBuffer().ShorthandGet("downloader.num_threads", '.').GetIntData() == 2;
        const bool explained = problem == "\"config.json\" could not be written (File too large)";
        _exit(!saved && undone && explained ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);

    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadRaw("config.json"), old);
    EXPECT_FALSE(fs::exists("config.json___"));
}
