#include <gtest/gtest.h>
#include "config/SettingsTable.h"
#include "config/XGConfig.h"
#include "json/Json.h"
#include "support/TempDir.h"

using namespace Ostrel;

namespace
{
    JsonBlock ParseBlock(const std::string& text)
    {
        JsonData data;
        data.Parse(text);
        return data.GetJsonData();
    }

    const std::string portReason =
        "Expected a port from 1 to 65535, alone or after an IPv4 address (\"6969\" or \"127.0.0.1:6969\").";
    const std::string pollingReason = "Expected a whole number from 1 to 10000.";
    const std::string threadsReason = "Expected a whole number from 0 to 64.";
    const std::string rateReason =
        "Expected bytes per second as a number with an optional unit K, M, G or T (\"100M\", \"1.5M\").";
    const std::string updateReason =
        "Expected one of yt-dlp's release folders on GitHub "
        "(\"https://github.com/yt-dlp/yt-dlp/releases/latest/download/\"); another address only in config.json.";
    const std::string runtimeReason =
        "Expected one of deno's release folders on GitHub "
        "(\"https://github.com/denoland/deno/releases/latest/download/\"); another address only in config.json.";
    const std::string templateReason =
        "Expected a name with \"/\" between folder levels and the fields {title}, {uploader}, {video_id}, {pelko_id}, "
        "{upload_date}, {year}, {playlist}, {playlist_index}, {subscription}, {mode} and {ext} in braces; no empty "
        "level, \".\" or \"..\", and none of the characters < > : \" \\ | ? * (\"{uploader}/{title} "
        "[{video_id}].{ext}\").";
    const std::string subtitlesReason =
        "Expected language codes separated by commas, as the downloader takes them (\"en,de\", \"pt-BR\", \"all\"), "
        "or \"\" for no subtitles.";
    const std::string sponsorBlockReason =
        "Expected \"off\", \"mark\" (the segments become chapters) or \"remove\" (they are cut out).";
    const std::string categoriesReason =
        "Expected SponsorBlock's categories separated by commas, of sponsor, intro, outro, selfpromo, preview, "
        "filler, interaction and music_offtopic, or \"all\" (\"sponsor,selfpromo\").";
    const std::string sponsorBlockApiReason =
        "Expected SponsorBlock's server (\"https://sponsor.ajay.app\"); another address only in config.json.";
    const std::string hostsReason =
        "Expected a list of host names made of letters, digits, \"-\" and \".\" (\"pelko.example.org\").";
}

struct ClientChange
{
    std::string changes;  // the "config" object a client sends
    std::string path;     // the setting refused, or empty when the change is taken
    std::string reason;
};

void PrintTo(const ClientChange& c, std::ostream* os)
{
    *os << c.changes;
}

// A client change is checked before it is loaded: refused values are taken out, with the reason.
class ClientChangeTest : public ::testing::TestWithParam<ClientChange>
{
protected:
    void SetUp() override { XGConfig::LoadDefaultValues(); }
    TestSupport::TempDir workingDirectory{true};
};

TEST_P(ClientChangeTest, RefusesWhatWouldBreakTheServer)
{
    JsonBlock changes = ParseBlock(GetParam().changes);
    const JsonBlock sent = changes;

    const std::vector<XGConfig::Refusal> refusals = XGConfig::RefuseClientChanges(changes);

    if (GetParam().path.empty())
    {
        EXPECT_TRUE(refusals.empty()) << refusals.front().path << ": " << refusals.front().reason;
        EXPECT_EQ(changes, sent);
        return;
    }
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].path, GetParam().path);
    EXPECT_EQ(refusals[0].reason, GetParam().reason);
    EXPECT_FALSE(changes.DoesShorthandExist(GetParam().path, '.'));
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, ClientChangeTest,
    ::testing::Values(
        // A template that names an unknown field, or could climb out of the library folder.
        ClientChange{R"({"library": {"template": "{uploader}/{titel}.{ext}"}})", "library.template", templateReason},
        ClientChange{R"({"library": {"template": "../{title}.{ext}"}})", "library.template", templateReason},
        ClientChange{R"({"library": {"template": ""}})", "library.template", templateReason},
        ClientChange{R"({"library": {"template": "{year}/{playlist_index} {title}.{ext}"}})", "", ""},
        // Whatever the downloader would refuse, or read as one of its options, fails every download.
        ClientChange{R"({"library": {"subtitles": "en,de,pt-BR"}})", "", ""},
        ClientChange{R"({"library": {"subtitles": ""}})", "", ""},
        ClientChange{R"({"library": {"subtitles": "en,"}})", "library.subtitles", subtitlesReason},
        ClientChange{R"({"library": {"subtitles": "all,-live_chat"}})", "", ""},
        ClientChange{R"({"library": {"subtitles": "--exec=rm"}})", "library.subtitles", subtitlesReason},
        ClientChange{R"({"library": {"subtitles": "en de"}})", "library.subtitles", subtitlesReason},
        ClientChange{R"({"library": {"subtitles": "en.*"}})", "library.subtitles", subtitlesReason},
        ClientChange{R"({"library": {"nfo": "yes"}})", "library.nfo", "Expected true or false."},
        ClientChange{R"({"downloader": {"sponsorblock": "remove", "sponsorblock_categories": "all"}})", "", ""},
        ClientChange{R"({"downloader": {"sponsorblock": "cut"}})", "downloader.sponsorblock", sponsorBlockReason},
        ClientChange{R"({"downloader": {"sponsorblock_categories": "sponsor,selfpromo"}})", "", ""},
        ClientChange{R"({"downloader": {"sponsorblock_categories": "poi_highlight"}})",
                     "downloader.sponsorblock_categories", categoriesReason},
        ClientChange{R"({"downloader": {"sponsorblock_categories": ""}})", "downloader.sponsorblock_categories",
                     categoriesReason},
        ClientChange{R"({"downloader": {"sponsorblock_categories": "sponsor,,intro"}})",
                     "downloader.sponsorblock_categories", categoriesReason},
        // The downloader tells that server each video it fetches.
        ClientChange{R"({"downloader": {"sponsorblock_api": "http://127.0.0.1:8000"}})", "downloader.sponsorblock_api",
                     sponsorBlockApiReason},
        ClientChange{R"({"downloader": {"sponsorblock_api": "https://sponsor.ajay.app"}})", "", ""},
        // No listener after a restart, or a port the library would pick at random.
        ClientChange{R"({"httpServer": {"port": "99999"}})", "httpServer.port", portReason},
        ClientChange{R"({"httpServer": {"port": "-1"}})", "httpServer.port", portReason},
        ClientChange{R"({"httpServer": {"port": "abc"}})", "httpServer.port", portReason},
        ClientChange{R"({"httpServer": {"port": ""}})", "httpServer.port", portReason},
        ClientChange{R"({"httpServer": {"port": "0"}})", "httpServer.port", portReason},
        ClientChange{R"({"httpServer": {"port": "127.0.0.1:"}})", "httpServer.port", portReason},
        ClientChange{R"({"httpServer": {"port": "300.1.1.1:80"}})", "httpServer.port", portReason},
        ClientChange{R"({"httpServer": {"port": "localhost:80"}})", "httpServer.port", portReason},
        ClientChange{R"({"httpServer": {"port": 8000}})", "httpServer.port", portReason},
        // A poll that never waits spins a core; one that waits long stalls every reply.
        ClientChange{R"({"httpServer": {"polling_rate": 0}})", "httpServer.polling_rate", pollingReason},
        ClientChange{R"({"httpServer": {"polling_rate": -5}})", "httpServer.polling_rate", pollingReason},
        ClientChange{R"({"httpServer": {"polling_rate": 10001}})", "httpServer.polling_rate", pollingReason},
        ClientChange{R"({"httpServer": {"polling_rate": 2.5}})", "httpServer.polling_rate", pollingReason},
        ClientChange{R"({"downloader": {"num_threads": -1}})", "downloader.num_threads", threadsReason},
        ClientChange{R"({"downloader": {"num_threads": 65}})", "downloader.num_threads", threadsReason},
        // 2^40 once became 0 on its way into 32 bits.
        ClientChange{R"({"downloader": {"num_threads": 1099511627776}})", "downloader.num_threads", threadsReason},
        ClientChange{R"({"logging": {"autosave_interval": 0}})", "logging.autosave_interval",
                     "Expected a whole number from 1 to 2147483647."},
        // The downloader refuses such a rate, so every download would fail.
        ClientChange{R"({"downloader": {"max_dlrate_per_thread": "fast"}})", "downloader.max_dlrate_per_thread",
                     rateReason},
        ClientChange{R"({"downloader": {"max_dlrate_per_thread": ""}})", "downloader.max_dlrate_per_thread",
                     rateReason},
        ClientChange{R"({"downloader": {"max_dlrate_per_thread": "1."}})", "downloader.max_dlrate_per_thread",
                     rateReason},
        ClientChange{R"({"downloader": {"max_dlrate_per_thread": "100MB"}})", "downloader.max_dlrate_per_thread",
                     rateReason},
        ClientChange{R"({"access": {"allowed_hosts": ["pelko.lan:6969"]}})", "access.allowed_hosts", hostsReason},
        ClientChange{R"({"access": {"allowed_hosts": [""]}})", "access.allowed_hosts", hostsReason},
        ClientChange{R"({"access": {"allowed_hosts": "pelko.lan"}})", "access.allowed_hosts", hostsReason},
        ClientChange{R"({"general": {"show_console": "false"}})", "general.show_console", "Expected true or false."},
        ClientChange{R"({"access": {"whitelist": "10.0.0.1"}})", "access.whitelist",
                     "Expected a list of client addresses."},
        // The update address decides which program the server runs.
        ClientChange{R"({"downloader": {"update_url": "https://example.com/yt-dlp/releases/latest/download/"}})",
                     "downloader.update_url", updateReason},
        ClientChange{R"({"downloader": {"update_url": "http://127.0.0.1:8000/"}})", "downloader.update_url",
                     updateReason},
        ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp/releases/download/../"}})",
                     "downloader.update_url", updateReason},
        ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp/releases/latest/download/x/"}})",
                     "downloader.update_url", updateReason},
        ClientChange{R"({"downloader": {"update_url": "https://github.com.evil.example/yt-dlp/yt-dlp/releases/latest/download/"}})",
                     "downloader.update_url", updateReason},
        ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp/releases/download/.x/"}})",
                     "downloader.update_url", updateReason},
        ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp/releases/download/x//"}})",
                     "downloader.update_url", updateReason},
        ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp-nightly-builds-master-builds/releases/latest/download/"}})",
                     "downloader.update_url", updateReason},
        ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp/releases/download/"}})",
                     "downloader.update_url", updateReason},
        // So does the runtime's, which every download of the own copy runs.
        ClientChange{R"({"downloader": {"js_runtime_url": "http://127.0.0.1:8000/deno/"}})", "downloader.js_runtime_url",
                     runtimeReason},
        ClientChange{R"({"downloader": {"js_runtime_url": "https://github.com/denoland/deno-nightly/releases/latest/download/"}})",
                     "downloader.js_runtime_url", runtimeReason},
        ClientChange{R"({"downloader": {"js_runtime_url": "https://github.com/yt-dlp/yt-dlp/releases/latest/download/"}})",
                     "downloader.js_runtime_url", runtimeReason},
        ClientChange{R"({"downloader": {"js_runtime_url": "https://github.com/denoland/deno/releases/download/../"}})",
                     "downloader.js_runtime_url", runtimeReason},
        // Only "set_password" makes a hash; one sent directly could lock everyone out.
        ClientChange{R"({"access": {"password_hash": ""}})", "access.password_hash",
                     "This setting is only changed by its own command."}));

INSTANTIATE_TEST_SUITE_P(
    Accepted, ClientChangeTest,
    ::testing::Values(ClientChange{R"({"httpServer": {"port": "1"}})"},
                      ClientChange{R"({"httpServer": {"port": "65535"}})"},
                      ClientChange{R"({"httpServer": {"port": "127.0.0.1:6969"}})"},
                      ClientChange{R"({"httpServer": {"polling_rate": 1}, "logging": {"autosave_interval": 1}})"},
                      ClientChange{R"({"httpServer": {"polling_rate": 10000}})"},
                      ClientChange{R"({"downloader": {"num_threads": 0}})"},
                      ClientChange{R"({"downloader": {"num_threads": 64}})"},
                      ClientChange{R"({"downloader": {"max_dlrate_per_thread": "50K"}})"},
                      ClientChange{R"({"downloader": {"max_dlrate_per_thread": "1.5m"}})"},
                      ClientChange{R"({"downloader": {"max_dlrate_per_thread": "100"}})"},
                      ClientChange{R"({"access": {"allowed_hosts": ["pelko.example.org", "Pelko-2.LAN"]}})"},
                      ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp/releases/latest/download"}})"},
                      ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp/releases/download/2024.08.06/"}})"},
                      ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp-nightly-builds/releases/latest/download/"}})"},
                      ClientChange{R"({"downloader": {"update_url": "https://github.com/yt-dlp/yt-dlp-master-builds/releases/download/a_b-1.2"}})"},
                      ClientChange{R"({"downloader": {"js_runtime_url": "https://github.com/denoland/deno/releases/latest/download"}})"},
                      ClientChange{R"({"downloader": {"js_runtime_url": "https://github.com/denoland/deno/releases/download/v2.5.6/"}})"},
                      // Members that name no setting are no business of the check.
                      ClientChange{R"({"unknown": {"x": 1}, "httpServer": {"extra": true}})"}));

// config.json may name any release folder; a client that sends the document back unchanged
// changes nothing, so nothing is refused.
TEST(SettingsTable, AValueThatStaysAsItIsIsNoChange)
{
    XGConfig::LoadDefaultValues();
    XGConfig::downloader.update_url = "http://127.0.0.1:8000/release/";
    JsonBlock same = ParseBlock(R"({"downloader": {"update_url": "http://127.0.0.1:8000/release/"}})");
    EXPECT_TRUE(XGConfig::RefuseClientChanges(same).empty());
    JsonBlock other = ParseBlock(R"({"downloader": {"update_url": "http://127.0.0.1:8001/release/"}})");
    EXPECT_EQ(XGConfig::RefuseClientChanges(other).size(), 1u);
}

TEST(SettingsTable, DrivesTheDefaultsAndTheDocument)
{
    XGConfig::LoadDefaultValues();
    const JsonBlock document = XGConfig::CreateJson();
    for (const Setting& setting : SettingsTable::All())
    {
        ASSERT_TRUE(document.DoesShorthandExist(setting.path, '.')) << setting.path;
        EXPECT_EQ(document.ShorthandGet(setting.path, '.'), SettingsTable::ToJson(setting.defaultValue))
            << setting.path;
    }
    EXPECT_EQ(XGConfig::httpServer.port, "6969");
    EXPECT_EQ(XGConfig::access.whitelist, std::vector<std::string>{"127.0.0.1"});
    EXPECT_FALSE(XGConfig::WithoutSecrets(document).DoesShorthandExist("access.password_hash", '.'));
    EXPECT_TRUE(XGConfig::WithoutSecrets(document).DoesShorthandExist("access.allowed_hosts", '.'));
}

TEST(SettingsTable, LoadingTakesNoIntegerThatDoesNotFitItsField)
{
    XGConfig::LoadDefaultValues();
    XGConfig::LoadFromJson(ParseBlock(R"({"downloader": {"num_threads": 1099511627776},
                                          "logging": {"autosave_interval": -2147483649}})"));
    EXPECT_EQ(XGConfig::downloader.num_threads, 1);
    EXPECT_EQ(XGConfig::logging.autosave_interval, 1800);
}
