#include <gtest/gtest.h>
#include "downloader/FormatChoice.h"
#include "json/Json.h"

using Downloader::ChosenStreams;
using Downloader::FormatChoice;
using Args = std::vector<std::string>;

TEST(FormatChoiceQuality, AcceptsBestAndTheEightHeightsOnly)
{
    EXPECT_EQ(FormatChoice::Qualities(), (Args{"best", "2160", "1440", "1080", "720", "480", "360", "240", "144"}));
    for (const std::string& quality : FormatChoice::Qualities())
        EXPECT_TRUE(FormatChoice::IsQuality(quality)) << quality;
    for (const char* quality : {"", "Best", "720p", "1000", " 720", "0"})
        EXPECT_FALSE(FormatChoice::IsQuality(quality)) << quality;
}

TEST(FormatChoiceAudioFormat, FourFormatsEachItsOwnExtension)
{
    EXPECT_EQ(FormatChoice::AudioFormats(), (Args{"mp3", "m4a", "opus", "flac"}));
    for (const std::string& format : FormatChoice::AudioFormats())
    {
        EXPECT_TRUE(FormatChoice::IsAudioFormat(format));
        EXPECT_EQ(FormatChoice::Extension(Downloader::AUDIO, format), format);
        EXPECT_EQ(FormatChoice::Extension(Downloader::VIDEO, format), "mp4");
    }
    EXPECT_EQ(FormatChoice::MediaType(Downloader::VIDEO, "opus"), "video/mp4");
    EXPECT_EQ(FormatChoice::MediaType(Downloader::AUDIO, "mp3"), "audio/mpeg");
    EXPECT_EQ(FormatChoice::MediaType(Downloader::AUDIO, "m4a"), "audio/mp4");
    EXPECT_EQ(FormatChoice::MediaType(Downloader::AUDIO, "opus"), "audio/ogg");
    EXPECT_EQ(FormatChoice::MediaType(Downloader::AUDIO, "flac"), "audio/flac");
    for (const char* format : {"", "MP3", "ogg", "aac", "wav", "best"})
    {
        EXPECT_FALSE(FormatChoice::IsAudioFormat(format)) << format;
        EXPECT_EQ(FormatChoice::Extension(Downloader::AUDIO, format), "mp3") << format;
    }
}

struct FitCase
{
    ChosenStreams chosen;
    bool fits;
};

class FitsMp4Test : public ::testing::TestWithParam<FitCase>
{
};

TEST_P(FitsMp4Test, OnlyStreamsThatPlayEverywhereInMp4)
{
    EXPECT_EQ(FormatChoice::FitsMp4(GetParam().chosen), GetParam().fits)
        << GetParam().chosen.videoCodec << " + " << GetParam().chosen.audioCodec;
}

// Codec names as manifests and sites report them.
INSTANTIATE_TEST_SUITE_P(Codecs, FitsMp4Test,
                         ::testing::Values(FitCase{{"avc1.64001f", "mp4a.40.2"}, true},
                                           FitCase{{"avc3.640028", "mp4a.40.5"}, true},
                                           FitCase{{"AVC1.4D401F", "MP4A.40.2"}, true},
                                           FitCase{{"h264", "aac"}, true},
                                           FitCase{{"vp09.00.31.08", "opus"}, true},
                                           FitCase{{"vp9", "mp4a.40.2"}, true},
                                           FitCase{{"av01.0.05M.08", "opus"}, true},
                                           FitCase{{"avc1.42c01e", "none"}, true},  // a silent video
                                           FitCase{{"none", "mp4a.40.2"}, true},    // sound alone
                                           FitCase{{"none", "none"}, false},
                                           FitCase{{"hev1.1.6.L93.B0", "mp4a.40.2"}, false},
                                           FitCase{{"vp8", "vorbis"}, false},
                                           FitCase{{"avc1.64001f", "ec-3"}, false},
                                           FitCase{{"avc1.64001f", "mp3"}, false},
                                           FitCase{{"", ""}, false},  // a plain file link says nothing
                                           FitCase{{"avc1.64001f", ""}, false}));

TEST(FormatChoiceMetadata, ReadsTheCodecsTheDownloadGets)
{
    Ostrel::JsonData merged;
    merged.Parse(R"({"format_id": "0+2", "vcodec": "avc1.42c01f", "acodec": "mp4a.40.2", "ext": "mp4"})");
    Ostrel::JsonData fileLink;
    fileLink.Parse(R"({"format_id": "0", "vcodec": null, "ext": "webm"})");

    const ChosenStreams fromMerged = FormatChoice::ChosenIn(merged.GetJsonData());
    const ChosenStreams fromLink = FormatChoice::ChosenIn(fileLink.GetJsonData());
    EXPECT_EQ(fromMerged.videoCodec, "avc1.42c01f");
    EXPECT_EQ(fromMerged.audioCodec, "mp4a.40.2");
    EXPECT_EQ(fromLink.videoCodec, "");
    EXPECT_EQ(fromLink.audioCodec, "");
}

struct ArgumentsCase
{
    std::string name;
    Downloader::DOWNLOAD_MODE mode;
    std::string quality;
    ChosenStreams chosen;
    bool ytDlp;
    Args expected;
    std::string audioFormat = "mp3";
};

class DownloadArgumentsTest : public ::testing::TestWithParam<ArgumentsCase>
{
};

TEST_P(DownloadArgumentsTest, SelectThenConvert)
{
    const ArgumentsCase& c = GetParam();
    EXPECT_EQ(FormatChoice::DownloadArguments(c.mode, c.quality, c.audioFormat, c.chosen, c.ytDlp), c.expected);
}

namespace
{
    const std::string ytDlpFormat =
        "bv*[vcodec~='(?i)^(avc|h264|vp9|vp09|av01|av1)'][acodec~='(?i)^(mp4a|aac|opus|none$)']"
        "+ba[acodec~='(?i)^(mp4a|aac|opus)']"
        "/b[vcodec~='(?i)^(avc|h264|vp9|vp09|av01|av1)'][acodec~='(?i)^(mp4a|aac|opus)']/bv*+ba/b";
    const Args audio = {"--audio-format", "mp3", "--audio-quality", "0", "--extract-audio"};
    const std::string m4aFormat =
        "bestaudio[acodec^=mp4a]/bestaudio[acodec=aac]/best[acodec^=mp4a]/best[acodec=aac]/bestaudio/best";
    const std::string opusFormat = "bestaudio[acodec=opus]/best[acodec=opus]/bestaudio/best";
}

// youtube-dl keeps the arguments it always had (plus a height limit): it knows neither -S
// nor --remux-video.
INSTANTIATE_TEST_SUITE_P(
    Modes, DownloadArgumentsTest,
    ::testing::Values(
        ArgumentsCase{"YtDlpFittingStreamsAreRemuxed", Downloader::VIDEO, "360", {"avc1.42c01e", "mp4a.40.2"}, true,
                      {"-f", ytDlpFormat, "-S", "lang,res:360,+vcodec:avc,+acodec:mp4a", "--merge-output-format",
                       "mp4", "--remux-video", "mp4"}},
        ArgumentsCase{"YtDlpUnknownStreamsAreRecoded", Downloader::VIDEO, "best", {"", ""}, true,
                      {"-f", ytDlpFormat, "-S", "lang,res,+vcodec:avc,+acodec:mp4a", "--recode-video", "mp4"}},
        ArgumentsCase{"YtDlpAudio", Downloader::AUDIO, "720", {"none", "opus"}, true, audio},
        ArgumentsCase{"YoutubeDlBestAsAlways", Downloader::VIDEO, "best", {"avc1", "mp4a"}, false,
                      {"--recode-video", "mp4", "--prefer-ffmpeg"}},
        ArgumentsCase{"YoutubeDlHeightLimit", Downloader::VIDEO, "720", {"avc1", "mp4a"}, false,
                      {"-f", "bestvideo[height<=?720]+bestaudio/best[height<=?720]/best", "--recode-video", "mp4",
                       "--prefer-ffmpeg"}},
        ArgumentsCase{"YoutubeDlAudio", Downloader::AUDIO, "best", {"", ""}, false, audio},
        // Both programs read these filters; the conversion copies a stream of the asked codec.
        ArgumentsCase{"YtDlpM4a", Downloader::AUDIO, "best", {"none", "mp4a.40.2"}, true,
                      {"-f", m4aFormat, "--audio-format", "m4a", "--audio-quality", "0", "--extract-audio"}, "m4a"},
        ArgumentsCase{"YoutubeDlM4a", Downloader::AUDIO, "best", {"", ""}, false,
                      {"-f", m4aFormat, "--audio-format", "m4a", "--audio-quality", "0", "--extract-audio"}, "m4a"},
        ArgumentsCase{"YtDlpOpus", Downloader::AUDIO, "720", {"none", "opus"}, true,
                      {"-f", opusFormat, "--audio-format", "opus", "--audio-quality", "0", "--extract-audio"}, "opus"},
        ArgumentsCase{"YtDlpFlac", Downloader::AUDIO, "best", {"none", "opus"}, true,
                      {"--audio-format", "flac", "--audio-quality", "0", "--extract-audio"}, "flac"},
        // A video has no audio format.
        ArgumentsCase{"YtDlpVideoIgnoresTheAudioFormat", Downloader::VIDEO, "best", {"", ""}, true,
                      {"-f", ytDlpFormat, "-S", "lang,res,+vcodec:avc,+acodec:mp4a", "--recode-video", "mp4"}, "opus"}),
    [](const ::testing::TestParamInfo<ArgumentsCase>& info) { return info.param.name; });

TEST(FormatChoiceSelection, TheMetadataFetchSelectsAsTheDownloadDoes)
{
    for (const bool ytDlp : {true, false})
        for (const Downloader::DOWNLOAD_MODE mode : {Downloader::VIDEO, Downloader::AUDIO})
            for (const std::string& quality : FormatChoice::Qualities())
                for (const std::string& format : FormatChoice::AudioFormats())
                {
                    const Args selection = FormatChoice::SelectionArguments(mode, quality, format, ytDlp);
                    const Args download = FormatChoice::DownloadArguments(mode, quality, format, {}, ytDlp);
                    ASSERT_LE(selection.size(), download.size());
                    EXPECT_TRUE(std::equal(selection.begin(), selection.end(), download.begin())) << quality;
                }
    EXPECT_EQ(FormatChoice::SelectionArguments(Downloader::AUDIO, "360", "mp3", true), Args{});
}
