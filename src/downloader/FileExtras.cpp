#include "downloader/FileExtras.h"
#include <algorithm>
#include <cctype>
#include <sstream>
#include "config/XGConfig.h"

using namespace Downloader;

namespace
{
    // yt-dlp refuses "poi_highlight" and "chapter" for removal, so neither is offered.
    const std::vector<std::string> categories = {"sponsor", "intro",  "outro",       "selfpromo",
                                                 "preview", "filler", "interaction", "music_offtopic"};

    // Each comma-separated item of `text` passes `isItem`; the comma after the text makes an
    // empty last item one that is read (and refused).
    template <typename Test>
    bool EveryItem(const std::string& text, Test isItem)
    {
        std::stringstream items(text + ",");
        std::string item;
        while (std::getline(items, item, ','))
            if (!isItem(item))
                return false;
        return true;
    }
}

FileExtras FileExtras::FromSettings()
{
    FileExtras extras{XGConfig::library.subtitles, XGConfig::downloader.sponsorblock,
                      XGConfig::downloader.sponsorblock_categories, XGConfig::downloader.sponsorblock_api};
    // config.json written by hand is not checked on loading: what the downloader would refuse
    // counts as none, so that downloads still run.
    if (!AreSubtitleLanguages(extras.subtitles))
        extras.subtitles.clear();
    if (!AreSponsorBlockCategories(extras.sponsorblockCategories) || extras.sponsorblockApi.empty())
        extras.sponsorblock = "off";
    return extras;
}

std::vector<std::string> FileExtras::Arguments(DOWNLOAD_MODE mode, bool ytDlp) const
{
    if (!ytDlp)
        return {};
    std::vector<std::string> arguments = {"--embed-metadata", "--embed-thumbnail", "--embed-chapters"};
    // Kept beside the cached file as .srt (for the library) and put into the MP4 as a text track.
    // A subtitle that cannot be had would fail the whole download without --ignore-errors; a
    // download that fails still ends with status 1.
    if (mode == VIDEO && !subtitles.empty())
        arguments.insert(arguments.end(), {"--write-subs", "--sub-langs", subtitles, "--convert-subs", "srt",
                                           "--embed-subs", "--ignore-errors"});
    if (sponsorblock == "mark" || sponsorblock == "remove")
        arguments.insert(arguments.end(), {"--sponsorblock-" + sponsorblock, sponsorblockCategories,
                                           "--sponsorblock-api", sponsorblockApi});
    return arguments;
}

const std::vector<std::string>& FileExtras::SponsorBlockModes()
{
    static const std::vector<std::string> modes = {"off", "mark", "remove"};
    return modes;
}

bool FileExtras::AreSponsorBlockCategories(const std::string& text)
{
    return text == "all" || EveryItem(text, [](const std::string& item) {
               return std::find(categories.begin(), categories.end(), item) != categories.end();
           });
}

bool FileExtras::AreSubtitleLanguages(const std::string& text)
{
    return text.empty() || EveryItem(text, [](const std::string& item) {
               return !item.empty() && item.size() <= 20 && std::all_of(item.begin(), item.end(), [](unsigned char c) {
                          return std::isalnum(c) || c == '-' || c == '_';
                      });
           });
}
