#include "downloader/DownloadEntry.h"
#include "config/XGConfig.h"
#include "json/Json.h"

using namespace Downloader;
using Ostrel::JsonBlock;
using Ostrel::JsonData;
using Ostrel::JsonElement;

namespace
{
    const char* const modeWords[] = {"video", "audio"};
    const char* const statusWords[] = {"queued", "downloading", "finished", "failed"};

    bool Has(const JsonBlock& block, const std::string& label, Ostrel::JSON_DATA_TYPE type)
    {
        return XGConfig::IsJsonFieldValid(block, label, type);
    }

    void TakeString(const JsonBlock& block, const std::string& label, std::string& field)
    {
        if (Has(block, label, Ostrel::STRING))
            field = block.Get(label).GetStringData();
    }

    template <typename Integer>
    void TakeInteger(const JsonBlock& block, const std::string& label, Integer& field)
    {
        if (Has(block, label, Ostrel::INT))
            field = static_cast<Integer>(block.Get(label).GetIntData());
    }

    // Of two or more thumbnails the second-to-last, of one that one; a chosen thumbnail
    // that is not an object with a string "url" gives none.
    std::string ChooseThumbnail(const Ostrel::JsonArray& thumbnails)
    {
        if (thumbnails.Size() == 0)
            return "";
        const JsonData& chosen = thumbnails.At(thumbnails.Size() >= 2 ? thumbnails.Size() - 2 : 0);
        if (chosen.GetDataType() != Ostrel::JSON || !Has(chosen.GetJsonData(), "url", Ostrel::STRING))
            return "";
        return chosen.GetJsonData().Get("url").GetStringData();
    }
}

DownloadEntry::DownloadEntry(const DownloadEntry& other)
{
    *this = other;
}

DownloadEntry& DownloadEntry::operator=(const DownloadEntry& other)
{
    title = other.title;
    description = other.description;
    uploader = other.uploader;
    duration = other.duration;
    pelko_id = other.pelko_id;
    webpage_url = other.webpage_url;
    thumbnail_url = other.thumbnail_url;
    downloaded_filename = other.downloaded_filename;
    download_url = other.download_url;
    status = other.status.load();
    mode = other.mode;
    download_progress = other.download_progress.load();
    queued_timestamp = other.queued_timestamp;
    return *this;
}

JsonBlock DownloadEntry::GetAsJson() const
{
    JsonBlock json;
    json.Add(JsonElement("title", title));
    json.Add(JsonElement("description", description));
    json.Add(JsonElement("uploader", uploader));
    json.Add(JsonElement("duration", duration));
    json.Add(JsonElement("pelko_id", pelko_id));
    json.Add(JsonElement("webpage_url", webpage_url));
    json.Add(JsonElement("thumbnail_url", thumbnail_url));
    json.Add(JsonElement("download_progress", download_progress.load()));
    json.Add(JsonElement("downloaded_filename", downloaded_filename));
    json.Add(JsonElement("download_url", download_url));
    json.Add(JsonElement("queued_timestamp", static_cast<long long>(queued_timestamp)));

    if (mode >= VIDEO && mode <= AUDIO)
        json.Add(JsonElement("mode", modeWords[mode]));
    const DOWNLOAD_STATUS current = status;
    if (current >= QUEUED && current <= FAILED)
        json.Add(JsonElement("status", statusWords[current]));
    return json;
}

DownloadEntry DownloadEntry::FromIndexRecord(const JsonBlock& record)
{
    DownloadEntry entry;
    entry.status = FINISHED;
    entry.download_progress = 100;
    TakeString(record, "title", entry.title);
    TakeString(record, "description", entry.description);
    TakeString(record, "uploader", entry.uploader);
    TakeInteger(record, "duration", entry.duration);
    TakeString(record, "pelko_id", entry.pelko_id);
    TakeString(record, "webpage_url", entry.webpage_url);
    TakeString(record, "thumbnail_url", entry.thumbnail_url);
    TakeString(record, "download_url", entry.download_url);
    TakeString(record, "downloaded_filename", entry.downloaded_filename);
    TakeInteger(record, "queued_timestamp", entry.queued_timestamp);
    if (Has(record, "mode", Ostrel::STRING))
        entry.mode = record.Get("mode").GetStringData() == "audio" ? AUDIO : VIDEO;
    return entry;
}

void DownloadEntry::TakeMetadata(const JsonBlock& metadata)
{
    TakeString(metadata, "title", title);
    TakeString(metadata, "description", description);
    TakeString(metadata, "uploader", uploader);
    TakeInteger(metadata, "duration", duration);
    TakeString(metadata, "webpage_url", webpage_url);
    if (Has(metadata, "thumbnails", Ostrel::ARRAY))
        thumbnail_url = ChooseThumbnail(metadata.Get("thumbnails").GetArrayData());
}
