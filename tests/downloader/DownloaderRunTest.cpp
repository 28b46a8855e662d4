#include <filesystem>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include "DownloadManagerFixture.h"
#include "downloader/Cookies.h"

using namespace Downloader;
using TestSupport::ReadRaw;
namespace fs = std::filesystem;

namespace
{
    using Args = std::vector<std::string>;

    // True when `part` stands in `call` as it is, in one piece.
    bool Holds(const Args& call, const Args& part)
    {
        return std::search(call.begin(), call.end(), part.begin(), part.end()) != call.end();
    }

    // A run's private `file` for a new video's metadata fetch, which comes before its id: its
    // files carry a name of their own.
    std::regex newVideosMetadataRun(const std::string& file)
    {
        return std::regex(R"(dlcache/dlprogbuf/fetch-\d+\.metadata\.)" + file);
    }

    // The private files of runs (pinned programs, cookie copies) that are still in the buffers.
    std::vector<std::string> RunFilesLeft()
    {
        std::vector<std::string> left;
        for (const fs::directory_entry& item : fs::directory_iterator("dlcache/dlprogbuf"))
        {
            const std::string name = item.path().filename().string();
            if (name.ends_with(".yt-dlp") || name.ends_with(".cookies"))
                left.push_back(name);
        }
        return left;
    }

    const std::string cookies = "# Netscape HTTP Cookie File\n.example.com\tTRUE\t/\tFALSE\t0\tsession\tsecret-value\n";
}

struct ConversionCase
{
    std::string switches;  // of the fake's metadata
    DOWNLOAD_MODE mode;
    std::string quality;
    Args selection;   // in the metadata run and the download
    Args conversion;  // in the download
    std::string audioFormat = "mp3";
};

void PrintTo(const ConversionCase& c, std::ostream* os)
{
    *os << c.switches << " " << c.quality;
}

class ConversionTest : public DownloadManagerTest, public ::testing::WithParamInterface<ConversionCase>
{
};

// Pelko's own copy is yt-dlp: the fetch and the download select the same streams, and the codecs the
// metadata names decide whether they are put into MP4 as they are or re-encoded.
TEST_P(ConversionTest, OwnCopyGetsTheSelectionAndTheConversionForTheChosenStreams)
{
    TestSupport::FakeDownloader::InstallAsOwnCopy();
    now += 1;
    const std::string id =
        DownloadManager::QueueDownload({"https://example.com/v?" + GetParam().switches, GetParam().mode,
                                        GetParam().quality, 0, GetParam().audioFormat});
    ASSERT_TRUE(PassUntil([&] { return Status(id) == FINISHED; })) << ReadRaw("dlcache/dlprogbuf/" + id + ".err");

    const auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 2u);
    const Args programs = fake.Programs();
    ASSERT_EQ(programs.size(), 2u);
    EXPECT_TRUE(std::regex_match(programs[0], newVideosMetadataRun("yt-dlp"))) << programs[0];
    EXPECT_EQ(programs[1], "dlcache/dlprogbuf/" + id + ".yt-dlp");
    for (const Args& call : calls)
    {
        if (!GetParam().selection.empty())
        {
            EXPECT_TRUE(Holds(call, GetParam().selection));
        }
        EXPECT_EQ(std::count(call.begin(), call.end(), "-S"),
                  std::count(GetParam().selection.begin(), GetParam().selection.end(), "-S"));
        EXPECT_FALSE(Holds(call, {"--no-call-home"}));
        EXPECT_FALSE(Holds(call, {"--prefer-ffmpeg"}));
    }
    EXPECT_TRUE(Holds(calls[1], GetParam().conversion));
    const Ostrel::JsonBlock entry = DownloadManager::GetDownloadEntryByPelkoID(id).GetAsJson();
    EXPECT_EQ(entry.Get("quality").GetStringData(), GetParam().quality);
    EXPECT_EQ(entry.Get("audio_format").GetStringData(), GetParam().audioFormat);
    const std::string extension = GetParam().mode == VIDEO ? ".mp4" : "." + GetParam().audioFormat;
    EXPECT_EQ(entry.Get("downloaded_filename").GetStringData(), "dlcache/download/" + id + extension);
    EXPECT_TRUE(fs::exists("dlcache/download/" + id + extension));
    // The links that pinned the program for the two runs went with them.
    EXPECT_EQ(RunFilesLeft(), Args{});
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ConversionTest,
    ::testing::Values(
        ConversionCase{"fake_vcodec=avc1.42c01e&fake_acodec=mp4a.40.2", VIDEO, "720",
                       {"-S", "lang,res:720,+vcodec:avc,+acodec:mp4a"},
                       {"--merge-output-format", "mp4", "--remux-video", "mp4"}},
        ConversionCase{"fake_vcodec=vp09.00.31.08&fake_acodec=opus", VIDEO, "best", {"-S", "lang,res,+vcodec:avc,+acodec:mp4a"},
                       {"--merge-output-format", "mp4", "--remux-video", "mp4"}},
        ConversionCase{"fake_vcodec=vp8&fake_acodec=vorbis", VIDEO, "360", {"-S", "lang,res:360,+vcodec:avc,+acodec:mp4a"},
                       {"--recode-video", "mp4"}},
        // A plain file link names no codecs.
        ConversionCase{"", VIDEO, "best", {"-S", "lang,res,+vcodec:avc,+acodec:mp4a"}, {"--recode-video", "mp4"}},
        ConversionCase{"fake_vcodec=avc1.42c01e&fake_acodec=mp4a.40.2", AUDIO, "360", {},
                       {"--audio-format", "mp3", "--audio-quality", "0", "--extract-audio"}},
        // Sound of the asked codec where the site has it, converted (a copy, when it is) into its file.
        ConversionCase{"fake_vcodec=none&fake_acodec=mp4a.40.2", AUDIO, "best",
                       {"-f", "bestaudio[acodec^=mp4a]/bestaudio[acodec=aac]/best[acodec^=mp4a]/best[acodec=aac]/"
                              "bestaudio/best"},
                       {"--audio-format", "m4a", "--audio-quality", "0", "--extract-audio"}, "m4a"},
        ConversionCase{"fake_vcodec=none&fake_acodec=opus", AUDIO, "best",
                       {"-f", "bestaudio[acodec=opus]/best[acodec=opus]/bestaudio/best"},
                       {"--audio-format", "opus", "--audio-quality", "0", "--extract-audio"}, "opus"},
        ConversionCase{"", AUDIO, "best", {}, {"--audio-format", "flac", "--audio-quality", "0", "--extract-audio"},
                       "flac"}));

// A run started with the own copy keeps it when an update puts a new one in its place; the next
// run starts the new one.
TEST_F(DownloadManagerTest, RunsKeepTheProgramTheyStartedWith)
{
    TestSupport::FakeDownloader::InstallAsOwnCopy("2024.01.01");
    const std::string first = Queue(Held("first"));
    DownloadManager::Update();
    ASSERT_TRUE(WaitUntil([&] { return Progress(first) == 100; }));

    TestSupport::FakeDownloader::InstallAsOwnCopy("2024.02.02");
    const std::string second = Queue(Held("second"));
    ASSERT_TRUE(WaitUntil([&] { return fake.Calls().size() == 3; }));
    EXPECT_NE(ReadRaw("dlcache/dlprogbuf/" + first + ".yt-dlp").find("2024.01.01"), std::string::npos);
    EXPECT_NE(ReadRaw("bin/yt-dlp").find("2024.02.02"), std::string::npos);

    Release("first");
    ASSERT_TRUE(PassUntil([&] { return Status(first) == FINISHED && Status(second) == DOWNLOADING; }));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists("dlcache/dlprogbuf/" + second + ".yt-dlp"); }));
    EXPECT_NE(ReadRaw("dlcache/dlprogbuf/" + second + ".yt-dlp").find("2024.02.02"), std::string::npos);
    EXPECT_FALSE(fs::exists("dlcache/dlprogbuf/" + first + ".yt-dlp"));
}

// Each run gets a private copy, readable by the server's user alone, gone once the run ended.
TEST_F(DownloadManagerTest, EveryRunGetsTheCookiesWhileTheyAreSet)
{
    const std::string cookieLog = directory / "cookies.log";
    setenv("PELKO_FAKE_COOKIES_LOG", cookieLog.c_str(), 1);
    const std::string without = Queue("https://example.com/1");
    ASSERT_TRUE(PassUntil([&] { return Status(without) == FINISHED; }));
    ASSERT_EQ(Cookies::Set(cookies), "");
    const std::string with = Queue("https://example.com/2");
    ASSERT_TRUE(PassUntil([&] { return Status(with) == FINISHED; }));
    unsetenv("PELKO_FAKE_COOKIES_LOG");

    const auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_FALSE(Holds(calls[0], {"--cookies"}));
    EXPECT_FALSE(Holds(calls[1], {"--cookies"}));
    const auto metadataCookies = std::find(calls[2].begin(), calls[2].end(), "--cookies");
    ASSERT_LT(metadataCookies + 1, calls[2].end());
    EXPECT_TRUE(std::regex_match(metadataCookies[1], newVideosMetadataRun("cookies"))) << metadataCookies[1];
    EXPECT_TRUE(Holds(calls[3], {"--cookies", "dlcache/dlprogbuf/" + with + ".cookies"}));

    std::istringstream copies(ReadRaw(cookieLog));
    std::string line;
    int seen = 0;
    while (std::getline(copies, line))
    {
        Ostrel::JsonData copy;
        copy.Parse(line);
        EXPECT_EQ(copy.GetJsonData().Get("mode").GetStringData(), "600");
        EXPECT_EQ(copy.GetJsonData().Get("text").GetStringData(), cookies);
        seen++;
    }
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(RunFilesLeft(), Args{});
    EXPECT_EQ(ReadRaw("cookies.txt"), cookies);
}
