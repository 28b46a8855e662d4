#pragma once
#include <string>
#include <vector>
#include "downloader/DownloadEntry.h"

namespace Ostrel
{
    class JsonBlock;
}

namespace Downloader
{
    // The codecs of the streams that a download fetches, as the downloader's metadata names
    // them ("avc1.64001f", "opus", ...): "none" for a kind the download has not, empty when
    // the metadata does not say (a plain file link, for one).
    struct ChosenStreams
    {
        std::string videoCodec;
        std::string audioCodec;
    };

    // Which streams a download fetches and how they become the cache's <id>.mp4 or, for sound
    // alone, <id>.<audio format>. Videos prefer streams that MP4 holds as they are and that
    // browsers and phones play: H.264, else VP9 or AV1, with AAC, else Opus; those are merged
    // or remuxed into MP4, and only anything else is re-encoded. Sound is MP3 at the best
    // quality unless another format is asked for: M4A and Opus take a stream of that codec
    // where the site offers one and keep it as it is, FLAC always converts.
    class FormatChoice
    {
    public:
        // "best" (the highest available), then the height limits from the highest down.
        static const std::vector<std::string>& Qualities();
        static bool IsQuality(const std::string& quality);
        // "mp3" (the default), "m4a", "opus" and "flac", each also the file's extension.
        static const std::vector<std::string>& AudioFormats();
        static bool IsAudioFormat(const std::string& format);
        // The extension (without the dot) of a finished file of `mode` in `audioFormat`.
        static std::string Extension(DOWNLOAD_MODE mode, const std::string& audioFormat);
        // Its media type: "video/mp4", "audio/mpeg", "audio/mp4", "audio/ogg" (Opus) or "audio/flac".
        static std::string MediaType(DOWNLOAD_MODE mode, const std::string& audioFormat);

        // The stream selection for `mode` at `quality` (one of Qualities(); for VIDEO) or in
        // `audioFormat` (one of AudioFormats(); for AUDIO). The metadata fetch must take the
        // same, so that its document names the streams the download gets.
        // `ytDlp`: the program takes yt-dlp's options (DownloaderProgramInfo::takesYtDlpOptions).
        static std::vector<std::string> SelectionArguments(DOWNLOAD_MODE mode, const std::string& quality,
                                                           const std::string& audioFormat, bool ytDlp);

        // The selection followed by the conversion for the streams `chosen`, which the metadata
        // fetched with SelectionArguments names (ChosenIn).
        static std::vector<std::string> DownloadArguments(DOWNLOAD_MODE mode, const std::string& quality,
                                                          const std::string& audioFormat, const ChosenStreams& chosen,
                                                          bool ytDlp);

        // The "vcodec" and "acodec" members of a metadata document; empty where they are missing.
        static ChosenStreams ChosenIn(const Ostrel::JsonBlock& metadata);

        // True when MP4 holds the streams as they are and browsers and phones play them.
        static bool FitsMp4(const ChosenStreams& chosen);
    };
}
