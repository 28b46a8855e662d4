#include "downloader/FlatListing.h"
#include <algorithm>
#include <cctype>
#include "app/FileSystem.h"
#include "downloader/DownloaderCommand.h"
#include "downloader/ExternalProgram.h"
#include "downloader/FailureReasons.h"
#include "downloader/MetadataDocument.h"
#include "downloader/RunFiles.h"
#include "json/Json.h"

using namespace Downloader;

namespace
{
    std::string StringMember(const Ostrel::JsonBlock& block, const std::string& label)
    {
        return MetadataDocument::StringMember(block, label);
    }

    std::string Lowercase(std::string text)
    {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
        return text;
    }
}

FlatListing FlatListing::Read(const DownloadManager::RunSettings& settings, const std::string& url,
                              int32_t maxItems, const std::atomic<bool>* stop)
{
    const std::string documentPath = settings.scratch.Document();
    const std::string errorPath = settings.scratch.Errors();
    ExternalProgram::Outcome outcome;
    {
        RunFiles files(settings.program, settings.scratch);
        outcome = ExternalProgram::Run(DownloaderCommand::Playlist(files.program, url, maxItems, files.cookies),
                                       documentPath, errorPath, stop);
    }
    const MetadataDocument document =
        outcome.started ? MetadataDocument::Read(documentPath, false) : MetadataDocument{};
    FileSystem::Delete(documentPath);

    FlatListing listing;
    if (document.kind == MetadataDocument::VIDEO)
        listing.isVideo = true;
    else if (document.kind == MetadataDocument::PLAYLIST)
    {
        const Ostrel::JsonBlock& list = document.document;
        listing.usable = true;
        listing.title = StringMember(list, "title");
        listing.id = StringMember(list, "id");
        listing.extractorKey = StringMember(list, "extractor_key");
        listing.channelId = StringMember(list, "channel_id");
        const bool hasEntries = list.DoesExist("entries") && list.Get("entries").GetDataType() == Ostrel::ARRAY;
        const Ostrel::JsonArray empty;
        const Ostrel::JsonArray& entries = hasEntries ? list.Get("entries").GetArrayData() : empty;
        for (size_t i = 0; i < entries.Size() && listing.videos.size() < static_cast<size_t>(maxItems); i++)
        {
            if (entries.At(i).GetDataType() != Ostrel::JSON)
                continue;
            const Ostrel::JsonBlock& entry = entries.At(i).GetJsonData();
            // As the downloader's archive names it: an entry it resolved by its own extractor,
            // a flat one by the extractor it would hand the video to, else by the list's.
            std::string extractor = StringMember(entry, "extractor_key");
            if (extractor.empty())
                extractor = StringMember(entry, "ie_key");
            if (extractor.empty())
                extractor = listing.extractorKey;
            const std::string id = StringMember(entry, "id");
            std::string address = StringMember(entry, "url");
            if (address.empty())
                address = StringMember(entry, "webpage_url");
            if (id.empty() || extractor.empty() || address.empty())
                continue;
            listing.videos.push_back({Lowercase(extractor) + " " + id, address, StringMember(entry, "title")});
        }
    }
    else if (outcome.stopped)
        listing.error = FailureReasons::shutDownDuringFetch;
    else if (settings.program.path.empty())
        listing.error = FailureReasons::noProgram;
    else if (!outcome.started)
        listing.error = FailureReasons::notStarted;
    else
    {
        listing.error = FailureReasons::LastErrorLine(errorPath);
        if (listing.error.empty())
            listing.error = FailureReasons::unreadablePlaylist;
    }
    FileSystem::Delete(errorPath);
    return listing;
}
