#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "downloader/DownloadEntry.h"
#include "downloader/DownloaderProgram.h"
#include "downloader/FileExtras.h"
#include "downloader/FormatChoice.h"

namespace Downloader
{
    // What a run of the downloader is about: one video, reached by its own address or by its
    // place on a playlist, and what it is to become.
    struct VideoRequest
    {
        std::string url;
        DOWNLOAD_MODE mode = AUDIO;
        std::string quality = "best";  // VIDEO: one of FormatChoice::Qualities()
        int32_t playlistIndex = 0;     // from 1: the video at that place of the playlist at `url`
        std::string audioFormat = "mp3";  // AUDIO: one of FormatChoice::AudioFormats()
    };

    // Every command line the server gives the downloader program, built in this one place.
    // `cookies` names the run's private cookie file, or is empty when none are set.
    class DownloaderCommand
    {
    public:
        // Prints (-J) the video's metadata document naming the streams a download gets, or,
        // for a place on a playlist, the playlist's document with that one video in "entries".
        // A playlist address without a place gives the playlist's document, listed flat.
        static std::vector<std::string> Metadata(const DownloaderProgramInfo& program, const VideoRequest& video,
                                                 const std::string& cookies);

        // Prints the document of the playlist at `url` with at most `maxItems` of its videos,
        // as far as the playlist itself names them (none is visited).
        static std::vector<std::string> Playlist(const DownloaderProgramInfo& program, const std::string& url,
                                                 int32_t maxItems, const std::string& cookies);

        // Downloads exactly one video into `outputTemplate` (the downloader puts in the
        // extension), progress on standard output line by line; `video.url` is the page that
        // the metadata named, `chosen` the streams it named, `extras` what goes into the file
        // besides them.
        static std::vector<std::string> Download(const DownloaderProgramInfo& program, const VideoRequest& video,
                                                 const ChosenStreams& chosen, const FileExtras& extras,
                                                 const std::string& rate, const std::string& outputTemplate,
                                                 const std::string& cookies);
    };
}
