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

    // Which streams a download fetches and how they become the cache's <id>.mp4 or <id>.mp3.
    // Videos prefer streams that MP4 holds as they are and that browsers and phones play:
    // H.264, else VP9 or AV1, with AAC, else Opus; those are merged or remuxed into MP4,
    // and only anything else is re-encoded. Audio is MP3 at the best quality.
    class FormatChoice
    {
    public:
        // "best" (the highest available), then the height limits from the highest down.
        static const std::vector<std::string>& Qualities();
        static bool IsQuality(const std::string& quality);

        // The stream selection for `mode` at `quality` (one of Qualities()). The metadata fetch
        // must take the same, so that its document names the streams the download gets.
        // `ytDlp`: the program takes yt-dlp's options (DownloaderProgramInfo::takesYtDlpOptions).
        static std::vector<std::string> SelectionArguments(DOWNLOAD_MODE mode, const std::string& quality, bool ytDlp);

        // The selection followed by the conversion for the streams `chosen`, which the metadata
        // fetched with SelectionArguments names (ChosenIn).
        static std::vector<std::string> DownloadArguments(DOWNLOAD_MODE mode, const std::string& quality,
                                                          const ChosenStreams& chosen, bool ytDlp);

        // The "vcodec" and "acodec" members of a metadata document; empty where they are missing.
        static ChosenStreams ChosenIn(const Ostrel::JsonBlock& metadata);

        // True when MP4 holds the streams as they are and browsers and phones play them.
        static bool FitsMp4(const ChosenStreams& chosen);
    };
}
