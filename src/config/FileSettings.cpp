#include "config/FileSettings.h"
#include <algorithm>
#include "config/XGConfig.h"
#include "downloader/FileExtras.h"
#include "library/LibraryTemplate.h"

using Downloader::FileExtras;

namespace
{
    constexpr const char* sponsorBlockServer = "https://sponsor.ajay.app";

    bool IsLibraryTemplate(const SettingValue& value)
    {
        return Library::LibraryTemplate::IsValid(std::get<std::string>(value));
    }

    bool AreSubtitleLanguages(const SettingValue& value)
    {
        return FileExtras::AreSubtitleLanguages(std::get<std::string>(value));
    }

    bool IsSponsorBlockMode(const SettingValue& value)
    {
        const std::vector<std::string>& modes = FileExtras::SponsorBlockModes();
        return std::find(modes.begin(), modes.end(), std::get<std::string>(value)) != modes.end();
    }

    bool AreSponsorBlockCategories(const SettingValue& value)
    {
        return FileExtras::AreSponsorBlockCategories(std::get<std::string>(value));
    }

    // The downloader tells the server every video it fetches segments for, so a client may only
    // name SponsorBlock's own; a stand-in is written into config.json by whoever runs the server.
    bool IsSponsorBlockServer(const SettingValue& value)
    {
        return std::get<std::string>(value) == sponsorBlockServer;
    }
}

std::vector<Setting> FileSettings()
{
    using std::string;
    // The library folder is checked where it leads (PathRules), not here.
    return {
        {.path = "library.dir",
         .field = &XGConfig::library.dir,
         .defaultValue = string(""),
         .pathKind = SETTING_PATH::USER_DIRECTORY,
         .placeName = "the library folder",
         .expected = "an existing directory the server can write to, anywhere, or \"\" for no library"},
        {.path = "library.template",
         .field = &XGConfig::library.filename_template,
         .defaultValue = string("{uploader}/{title} [{video_id}].{ext}"),
         .isValid = IsLibraryTemplate,
         .expected = "a name with \"/\" between folder levels and the fields {title}, {uploader}, {video_id}, "
                     "{pelko_id}, {upload_date}, {year}, {playlist}, {playlist_index}, {subscription}, {mode} and "
                     "{ext} in braces; no empty level, \".\" or \"..\", and none of the characters "
                     "< > : \" \\ | ? * (\"{uploader}/{title} [{video_id}].{ext}\")"},
        {.path = "library.subtitles",
         .field = &XGConfig::library.subtitles,
         .defaultValue = string(""),
         .isValid = AreSubtitleLanguages,
         .expected = "language codes separated by commas, as the downloader takes them (\"en,de\", \"pt-BR\", "
                     "\"all\"), or \"\" for no subtitles"},
        {.path = "library.nfo", .field = &XGConfig::library.nfo, .defaultValue = true},
        {.path = "downloader.sponsorblock",
         .field = &XGConfig::downloader.sponsorblock,
         .defaultValue = string("off"),
         .isValid = IsSponsorBlockMode,
         .expected = "\"off\", \"mark\" (the segments become chapters) or \"remove\" (they are cut out)"},
        {.path = "downloader.sponsorblock_categories",
         .field = &XGConfig::downloader.sponsorblock_categories,
         .defaultValue = string("sponsor"),
         .isValid = AreSponsorBlockCategories,
         .expected = "SponsorBlock's categories separated by commas, of sponsor, intro, outro, selfpromo, preview, "
                     "filler, interaction and music_offtopic, or \"all\" (\"sponsor,selfpromo\")"},
        {.path = "downloader.sponsorblock_api",
         .field = &XGConfig::downloader.sponsorblock_api,
         .defaultValue = string(sponsorBlockServer),
         .isValid = IsSponsorBlockServer,
         .expected = "SponsorBlock's server (\"https://sponsor.ajay.app\"); another address only in config.json"},
    };
}
