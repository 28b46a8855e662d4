#include "library/LibraryManager.h"
#include "config/XGConfig.h"
#include "json/Json.h"
#include "library/FilePlacer.h"
#include "library/LibraryTemplate.h"
#include "library/MediaServerFiles.h"
#include "library/SubtitleFiles.h"

using namespace Library;
using Downloader::DownloadEntry;
using Downloader::Placement;

namespace
{
    std::string StringOf(const Ostrel::JsonBlock& metadata, const std::string& label)
    {
        if (!XGConfig::IsJsonFieldValid(metadata, label, Ostrel::STRING))
            return "";
        return metadata.Get(label).GetStringData();
    }

    // The downloader gives "20240131"; a name reads better with "2024-01-31".
    std::string DateOf(const std::string& compact)
    {
        if (compact.size() != 8)
            return compact;
        return compact.substr(0, 4) + "-" + compact.substr(4, 2) + "-" + compact.substr(6, 2);
    }

    std::string ExtensionOf(const std::string& file)
    {
        const size_t dot = file.rfind('.');
        return dot == std::string::npos || file.find('/', dot) != std::string::npos ? "" : file.substr(dot + 1);
    }
}

void LibraryManager::PreInit()
{
    Downloader::DownloadManager::SetFinishing(StepForNewDownload);
}

Downloader::FinishingStep LibraryManager::StepForNewDownload()
{
    const std::string dir = XGConfig::library.dir;
    const std::string nameTemplate = XGConfig::library.filename_template;
    // A template set in config.json by hand is not checked on loading.
    if (dir.empty() || !LibraryTemplate::IsValid(nameTemplate))
        return nullptr;
    const bool nfo = XGConfig::library.nfo;
    // Media servers take a first level of one uploader's videos as a show.
    const bool showFolders = nameTemplate.starts_with("{uploader}/");
    return [dir, nameTemplate, nfo, showFolders](const DownloadEntry& entry, const Ostrel::JsonBlock& metadata) {
        const std::string extension = ExtensionOf(entry.downloaded_filename);
        const LibraryName name = LibraryTemplate::Expand(nameTemplate, FieldsOf(entry, metadata, extension));
        Placement placement;
        if (!FilePlacer::Place(entry.downloaded_filename, dir, name, placement.libraryPath, placement.problem))
            return placement;
        placement.problem = SubtitleFiles::PlaceBeside(entry.downloaded_filename, dir + "/" + placement.libraryPath);
        const std::string mediaServers =
            nfo ? MediaServerFiles::Write(dir, placement.libraryPath, entry, metadata, showFolders) : "";
        if (!mediaServers.empty())
            placement.problem += (placement.problem.empty() ? "" : " ") + mediaServers;
        return placement;
    };
}

std::map<std::string, std::string> LibraryManager::FieldsOf(const DownloadEntry& entry,
                                                            const Ostrel::JsonBlock& metadata,
                                                            const std::string& extension)
{
    const std::string date = DateOf(StringOf(metadata, "upload_date"));
    std::string playlistIndex;
    if (entry.playlist_index > 0)
        playlistIndex = std::to_string(entry.playlist_index);
    else if (XGConfig::IsJsonFieldValid(metadata, "playlist_index", Ostrel::INT))
        playlistIndex = std::to_string(metadata.Get("playlist_index").GetIntData());
    return {
        {"title", entry.title},
        {"uploader", entry.uploader},
        {"video_id", StringOf(metadata, "id")},
        {"pelko_id", entry.pelko_id},
        {"upload_date", date},
        {"year", date.substr(0, 4)},
        {"playlist", StringOf(metadata, "playlist")},
        {"playlist_index", playlistIndex},
        {"subscription", entry.subscription_name},
        {"mode", entry.mode == Downloader::VIDEO ? "video" : "audio"},
        {"ext", extension},
    };
}
