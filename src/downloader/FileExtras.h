#pragma once
#include <string>
#include <vector>
#include "downloader/DownloadEntry.h"

namespace Downloader
{
    // What a finished file holds besides its streams. yt-dlp always puts in the video's details
    // (title, uploader as artist, date, description, the page's address as comment), its
    // thumbnail as cover and its chapters; subtitles (video only) and SponsorBlock segments come
    // as the settings say. youtube-dl gets none of this, as it never did.
    struct FileExtras
    {
        std::string subtitles;               // languages as the downloader takes them ("en,de"); "" for none
        std::string sponsorblock = "off";    // "off", "mark" (as chapters) or "remove" (cut out)
        std::string sponsorblockCategories;  // the segments' categories ("sponsor,selfpromo") or "all"
        std::string sponsorblockApi;         // the SponsorBlock server

        // From the settings of now (library.subtitles, downloader.sponsorblock*).
        static FileExtras FromSettings();

        // The downloader's options for a download of `mode`; `ytDlp` as for FormatChoice.
        std::vector<std::string> Arguments(DOWNLOAD_MODE mode, bool ytDlp) const;

        // "off", "mark", "remove".
        static const std::vector<std::string>& SponsorBlockModes();
        // True for a list of SponsorBlock's categories that can be both marked and removed
        // ("sponsor,intro"), or "all".
        static bool AreSponsorBlockCategories(const std::string& text);
        // True for "" or a list of language codes ("en,de", "pt-BR", "all").
        static bool AreSubtitleLanguages(const std::string& text);
    };
}
