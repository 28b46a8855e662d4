#pragma once
#include <string>
#include <vector>
#include "downloader/DownloaderCommand.h"
#include "json/JsonBlock.h"

namespace Downloader
{
    // What a metadata run of the downloader printed (DownloaderCommand::Metadata, ::Playlist):
    // one video's document, a playlist's, or nothing usable.
    struct MetadataDocument
    {
        enum KIND
        {
            UNUSABLE,  // no JSON object: the run failed, or the file is missing
            VIDEO,
            PLAYLIST
        };
        KIND kind = UNUSABLE;
        Ostrel::JsonBlock document;  // VIDEO: the video's own; PLAYLIST: the playlist's

        // The string member `label` of `block`; empty when it is missing or of another type.
        static std::string StringMember(const Ostrel::JsonBlock& block, const std::string& label);

        // Reads the file at `path`. `ofPlaylistPlace`: the run asked for one place of a playlist,
        // whose document then holds the video as its only entry (without it, PLAYLIST).
        static MetadataDocument Read(const std::string& path, bool ofPlaylistPlace);

        // The streams a download of the video gets, as far as the document names them.
        ChosenStreams Chosen() const;

        // A playlist's videos in its order, each asked for as `playlist` asks (mode, quality,
        // audio format): by its own address where the playlist names one, else by its place on
        // the playlist at `playlist.url`. Entries that are no objects (videos gone) are skipped.
        std::vector<VideoRequest> Videos(const VideoRequest& playlist) const;
    };
}
