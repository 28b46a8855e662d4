#include <gtest/gtest.h>
#include <algorithm>
#include "downloader/DownloaderCommand.h"

using namespace Downloader;

struct RuntimeArgumentCase
{
    std::string name;
    bool isOwnCopy;
    std::string jsRuntime;
    bool told;  // the command lines carry --js-runtimes deno:<jsRuntime>
};

class RuntimeArgumentTest : public ::testing::TestWithParam<RuntimeArgumentCase>
{
};

// Only Pelko's own yt-dlp is told of Pelko's own deno: a system's program may be older than the
// option and would refuse every run.
TEST_P(RuntimeArgumentTest, EveryRunOfTheOwnCopyIsToldWhereDenoIs)
{
    const RuntimeArgumentCase& c = GetParam();
    DownloaderProgramInfo program;
    program.path = "/srv/pelko/bin/yt-dlp";
    program.takesYtDlpOptions = true;
    program.isOwnCopy = c.isOwnCopy;
    program.jsRuntime = c.jsRuntime;
    const VideoRequest video{"https://videos.example/watch?v=1", VIDEO, "best", 0};

    for (const std::vector<std::string>& command :
         {DownloaderCommand::Metadata(program, video, ""), DownloaderCommand::Playlist(program, video.url, 5, ""),
          DownloaderCommand::Download(program, video, {}, {}, "100M", "out.%(ext)s", "")})
    {
        const auto option = std::find(command.begin(), command.end(), "--js-runtimes");
        ASSERT_EQ(option != command.end(), c.told) << command.size();
        if (c.told)
        {
            ASSERT_NE(option + 1, command.end());
            EXPECT_EQ(*(option + 1), "deno:" + c.jsRuntime);
            // An option, not the address: it comes before "--".
            EXPECT_LT(option, std::find(command.begin(), command.end(), "--"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, RuntimeArgumentTest,
    ::testing::Values(RuntimeArgumentCase{"OwnCopyWithDeno", true, "/srv/pelko/bin/deno", true},
                      RuntimeArgumentCase{"OwnCopyWithoutDeno", true, "", false},
                      RuntimeArgumentCase{"SystemProgramBesideDeno", false, "/srv/pelko/bin/deno", false}),
    [](const ::testing::TestParamInfo<RuntimeArgumentCase>& info) { return info.param.name; });

namespace
{
    const std::vector<std::string> embedded = {"--embed-metadata", "--embed-thumbnail", "--embed-chapters"};

    std::vector<std::string> EmbeddedAnd(const std::vector<std::string>& more)
    {
        std::vector<std::string> arguments = embedded;
        arguments.insert(arguments.end(), more.begin(), more.end());
        return arguments;
    }

    const FileExtras subtitlesAndMark{"en,de", "mark", "sponsor,intro", "http://127.0.0.1:9/sb"};
}

struct ExtrasCase
{
    std::string name;
    bool ytDlp;
    DOWNLOAD_MODE mode;
    FileExtras extras;
    std::vector<std::string> expected;  // what the download gets between its format options and "-o"
};

class FileExtrasArgumentTest : public ::testing::TestWithParam<ExtrasCase>
{
};

// What goes into the file is told to yt-dlp only; youtube-dl never got it and refuses the options.
TEST_P(FileExtrasArgumentTest, DownloadCarriesWhatGoesIntoTheFile)
{
    const ExtrasCase& c = GetParam();
    DownloaderProgramInfo program;
    program.path = c.ytDlp ? "/usr/bin/yt-dlp" : "/usr/bin/youtube-dl";
    program.takesYtDlpOptions = c.ytDlp;
    const VideoRequest video{"https://videos.example/watch?v=1", c.mode, "best", 0};
    const std::vector<std::string> without = DownloaderCommand::Download(program, video, {}, {}, "100M", "o", "");
    const std::vector<std::string> with = DownloaderCommand::Download(program, video, {}, c.extras, "100M", "o", "");

    // Everything else stays as it is, and the extras stand right before the output template.
    const auto output = std::find(without.begin(), without.end(), "-o");
    ASSERT_NE(output, without.end());
    std::vector<std::string> expected(without.begin(), output);
    const size_t always = c.ytDlp ? embedded.size() : 0;
    expected.erase(expected.end() - static_cast<std::ptrdiff_t>(always), expected.end());
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    expected.insert(expected.end(), output, without.end());
    EXPECT_EQ(with, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, FileExtrasArgumentTest,
    ::testing::Values(
        ExtrasCase{"NothingSetStillEmbedsTheDetails", true, VIDEO, {}, embedded},
        ExtrasCase{"VideoWithSubtitlesAndMarkedSegments", true, VIDEO, subtitlesAndMark,
                   EmbeddedAnd({"--write-subs", "--sub-langs", "en,de", "--convert-subs", "srt", "--embed-subs",
                                "--ignore-errors", "--sponsorblock-mark", "sponsor,intro", "--sponsorblock-api", "http://127.0.0.1:9/sb"})},
        // A sound file holds no subtitle track.
        ExtrasCase{"AudioTakesNoSubtitles", true, AUDIO, subtitlesAndMark,
                   EmbeddedAnd({"--sponsorblock-mark", "sponsor,intro", "--sponsorblock-api", "http://127.0.0.1:9/sb"})},
        ExtrasCase{"RemovedSegments", true, AUDIO, {"", "remove", "all", "https://sponsor.ajay.app"},
                   EmbeddedAnd({"--sponsorblock-remove", "all", "--sponsorblock-api", "https://sponsor.ajay.app"})},
        ExtrasCase{"OffAsksNoSponsorBlock", true, VIDEO, {"", "off", "all", "https://sponsor.ajay.app"}, embedded},
        ExtrasCase{"YoutubeDlGetsNone", false, VIDEO, subtitlesAndMark, {}}),
    [](const ::testing::TestParamInfo<ExtrasCase>& info) { return info.param.name; });
