#include "downloader/MetadataDocument.h"
#include <limits>
#include "app/FileSystem.h"
#include "json/Json.h"

using namespace Downloader;

std::string MetadataDocument::StringMember(const Ostrel::JsonBlock& block, const std::string& label)
{
    if (!block.DoesExist(label) || block.Get(label).GetDataType() != Ostrel::STRING)
        return "";
    return block.Get(label).GetStringData();
}

namespace
{
    const Ostrel::JsonArray* Entries(const Ostrel::JsonBlock& playlist)
    {
        if (!playlist.DoesExist("entries") || playlist.Get("entries").GetDataType() != Ostrel::ARRAY)
            return nullptr;
        return &playlist.Get("entries").GetArrayData();
    }
}

MetadataDocument MetadataDocument::Read(const std::string& path, bool ofPlaylistPlace)
{
    MetadataDocument result;
    if (!FileSystem::Exists(path))
        return result;
    const std::string text = FileSystem::ReadFile(path);
    if (!Ostrel::IsJsonValid(text))
        return result;
    Ostrel::JsonData parsed;
    parsed.Parse(text);
    if (parsed.GetDataType() != Ostrel::JSON)
        return result;

    const Ostrel::JsonBlock& document = parsed.GetJsonData();
    const std::string type = StringMember(document, "_type");
    if (type != "playlist" && type != "multi_video")
    {
        result.kind = VIDEO;
        result.document = document;
        return result;
    }
    if (!ofPlaylistPlace)
    {
        result.kind = PLAYLIST;
        result.document = document;
        return result;
    }

    // The place asked for; without it, the playlist no longer has the place.
    const Ostrel::JsonArray* entries = Entries(document);
    const bool found = entries != nullptr && entries->Size() == 1 && entries->At(0).GetDataType() == Ostrel::JSON;
    result.kind = found ? VIDEO : PLAYLIST;
    result.document = found ? entries->At(0).GetJsonData() : document;
    return result;
}

ChosenStreams MetadataDocument::Chosen() const
{
    return kind == VIDEO ? FormatChoice::ChosenIn(document) : ChosenStreams{};
}

std::vector<VideoRequest> MetadataDocument::Videos(const VideoRequest& playlist) const
{
    const std::string& playlistUrl = playlist.url;
    std::vector<VideoRequest> videos;
    const Ostrel::JsonArray* entries = kind == PLAYLIST ? Entries(document) : nullptr;
    if (entries == nullptr)
        return videos;
    const std::string pageOfPlaylist = StringMember(document, "webpage_url");
    for (size_t i = 0; i < entries->Size(); i++)
    {
        if (entries->At(i).GetDataType() != Ostrel::JSON)
            continue;
        const Ostrel::JsonBlock& entry = entries->At(i).GetJsonData();
        const std::string type = StringMember(entry, "_type");
        const std::string url = StringMember(entry, "url");
        const std::string page = StringMember(entry, "webpage_url");

        VideoRequest video = playlist;
        video.playlistIndex = 0;
        // A flat entry is a link to the video's own page; a video that the playlist page holds
        // itself (several on one page) names that page as its own.
        if ((type == "url" || type == "url_transparent") && !url.empty())
            video.url = url;
        else if (!page.empty() && page != pageOfPlaylist && page != playlistUrl)
            video.url = page;
        else
        {
            video.url = playlistUrl;
            long long place = static_cast<long long>(i + 1);
            if (entry.DoesExist("playlist_index") && entry.Get("playlist_index").GetDataType() == Ostrel::INT)
                place = entry.Get("playlist_index").GetIntData();
            if (place < 1 || place > std::numeric_limits<int32_t>::max())
                continue;
            video.playlistIndex = static_cast<int32_t>(place);
        }
        videos.push_back(video);
    }
    return videos;
}
