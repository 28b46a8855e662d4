#include "downloader/FormatChoice.h"
#include <algorithm>
#include <cctype>
#include "json/Json.h"

using namespace Downloader;

namespace
{
    // Codec names, by how they begin, that MP4 holds as they are and that browsers and phones
    // play. The selection below and FitsMp4 read the same lists.
    const std::vector<std::string> fittingVideo = {"avc", "h264", "vp9", "vp09", "av01", "av1"};
    const std::vector<std::string> fittingAudio = {"mp4a", "aac", "opus"};

    std::string Alternatives(const std::vector<std::string>& names)
    {
        std::string joined;
        for (const std::string& name : names)
            joined += (joined.empty() ? "" : "|") + name;
        return joined;
    }

    // yt-dlp's regular expression filter (Python syntax), case-insensitive.
    std::string Filter(const std::string& field, const std::string& pattern)
    {
        return "[" + field + "~='(?i)^(" + pattern + ")']";
    }

    // In order: the best fitting video-only stream (or fitting video with fitting sound) with
    // the best fitting sound; a fitting stream that has both; anything, as yt-dlp would choose.
    // Which of the fitting ones is best is the sort order's choice.
    std::string YtDlpFormat()
    {
        const std::string video = Filter("vcodec", Alternatives(fittingVideo));
        const std::string audio = Filter("acodec", Alternatives(fittingAudio));
        const std::string audioOrNone = Filter("acodec", Alternatives(fittingAudio) + "|none$");
        return "bv*" + video + audioOrNone + "+ba" + audio + "/b" + video + audio + "/bv*+ba/b";
    }

    // The height first ("res", the smaller side, so that a portrait 720p video counts as
    // 720p), then H.264 before the others (h264 > h265 > vp9 > vp9.2 > av01, the filter
    // leaves out h265), then AAC before Opus.
    std::string YtDlpSort(const std::string& quality)
    {
        return "lang,res" + (quality == "best" ? "" : ":" + quality) + ",+vcodec:avc,+acodec:mp4a";
    }

    bool BeginsWithOneOf(const std::string& codec, const std::vector<std::string>& names)
    {
        std::string lower = codec;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return std::any_of(names.begin(), names.end(),
                           [&lower](const std::string& name) { return lower.rfind(name, 0) == 0; });
    }

    std::string StringMember(const Ostrel::JsonBlock& block, const std::string& label)
    {
        if (!block.DoesExist(label) || block.Get(label).GetDataType() != Ostrel::STRING)
            return "";
        return block.Get(label).GetStringData();
    }
}

const std::vector<std::string>& FormatChoice::Qualities()
{
    static const std::vector<std::string> qualities = {"best", "2160", "1440", "1080", "720",
                                                       "480",  "360",  "240",  "144"};
    return qualities;
}

bool FormatChoice::IsQuality(const std::string& quality)
{
    return std::find(Qualities().begin(), Qualities().end(), quality) != Qualities().end();
}

const std::vector<std::string>& FormatChoice::AudioFormats()
{
    static const std::vector<std::string> formats = {"mp3", "m4a", "opus", "flac"};
    return formats;
}

bool FormatChoice::IsAudioFormat(const std::string& format)
{
    return std::find(AudioFormats().begin(), AudioFormats().end(), format) != AudioFormats().end();
}

std::string FormatChoice::Extension(DOWNLOAD_MODE mode, const std::string& audioFormat)
{
    if (mode == VIDEO)
        return "mp4";
    return IsAudioFormat(audioFormat) ? audioFormat : "mp3";
}

std::string FormatChoice::MediaType(DOWNLOAD_MODE mode, const std::string& audioFormat)
{
    const std::string extension = Extension(mode, audioFormat);
    if (extension == "mp4")
        return "video/mp4";
    if (extension == "m4a")
        return "audio/mp4";
    // Opus comes in an Ogg file.
    if (extension == "opus")
        return "audio/ogg";
    return extension == "flac" ? "audio/flac" : "audio/mpeg";
}

std::vector<std::string> FormatChoice::SelectionArguments(DOWNLOAD_MODE mode, const std::string& quality,
                                                          const std::string& audioFormat, bool ytDlp)
{
    // M4A and Opus take a stream of their own codec where there is one (sound alone first,
    // then one with a picture, whose sound is taken out), since the conversion then only
    // copies it into its file. The filters are written so that youtube-dl reads them too.
    // Any other sound takes the downloader's own choice for sound extraction: the best there is.
    if (mode != VIDEO && audioFormat == "m4a")
        return {"-f", "bestaudio[acodec^=mp4a]/bestaudio[acodec=aac]/best[acodec^=mp4a]/best[acodec=aac]/bestaudio/best"};
    if (mode != VIDEO && audioFormat == "opus")
        return {"-f", "bestaudio[acodec=opus]/best[acodec=opus]/bestaudio/best"};
    if (mode != VIDEO)
        return {};
    if (ytDlp)
        return {"-f", YtDlpFormat(), "-S", YtDlpSort(quality)};
    // youtube-dl knows no sort order; its default is the best, as it always was.
    if (quality == "best")
        return {};
    return {"-f", "bestvideo[height<=?" + quality + "]+bestaudio/best[height<=?" + quality + "]/best"};
}

std::vector<std::string> FormatChoice::DownloadArguments(DOWNLOAD_MODE mode, const std::string& quality,
                                                         const std::string& audioFormat, const ChosenStreams& chosen,
                                                         bool ytDlp)
{
    std::vector<std::string> arguments = SelectionArguments(mode, quality, audioFormat, ytDlp);
    // The conversion copies sound that is in the asked codec already and re-encodes any other.
    if (mode != VIDEO)
        arguments.insert(arguments.end(), {"--audio-format", Extension(mode, audioFormat), "--audio-quality", "0",
                                           "--extract-audio"});
    else if (ytDlp && FitsMp4(chosen))
        // Merged streams go into MP4 as they are; a single file in another container is
        // remuxed. Neither re-encodes.
        arguments.insert(arguments.end(), {"--merge-output-format", "mp4", "--remux-video", "mp4"});
    else if (ytDlp)
        // Re-encoded only when the file is not MP4 already. Remuxing streams that MP4 does
        // not hold would fail, and unknown codecs may be such streams.
        arguments.insert(arguments.end(), {"--recode-video", "mp4"});
    else
        arguments.insert(arguments.end(), {"--recode-video", "mp4", "--prefer-ffmpeg"});
    return arguments;
}

ChosenStreams FormatChoice::ChosenIn(const Ostrel::JsonBlock& metadata)
{
    return {StringMember(metadata, "vcodec"), StringMember(metadata, "acodec")};
}

bool FormatChoice::FitsMp4(const ChosenStreams& chosen)
{
    const bool noVideo = chosen.videoCodec == "none";
    const bool noAudio = chosen.audioCodec == "none";
    return !(noVideo && noAudio) && (noVideo || BeginsWithOneOf(chosen.videoCodec, fittingVideo)) &&
           (noAudio || BeginsWithOneOf(chosen.audioCodec, fittingAudio));
}
