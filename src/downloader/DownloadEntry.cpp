#include "downloader/DownloadEntry.h"
#include "config/XGConfig.h"
#include "downloader/FormatChoice.h"
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
    video_url = other.video_url;
    thumbnail_url = other.thumbnail_url;
    downloaded_filename = other.downloaded_filename;
    download_url = other.download_url;
    error_message = other.ErrorMessage();
    library_path = other.LibraryPath();
    status = other.status.load();
    mode = other.mode;
    download_progress = other.download_progress.load();
    queued_timestamp = other.queued_timestamp;
    quality = other.quality;
    audio_format = other.audio_format;
    playlist_index = other.playlist_index;
    subscription_id = other.subscription_id;
    subscription_name = other.subscription_name;
    download_speed = other.download_speed.load();
    download_eta = other.download_eta.load();
    total_bytes = other.total_bytes.load();
    converting = other.converting.load();
    restored = other.restored;
    file_size = other.file_size;
    return *this;
}

JsonBlock DownloadEntry::GetAsRecord() const
{
    JsonBlock json;
    VisitMembers(false, [&json](const char* label, const auto& value) { json.Add(JsonElement(label, value)); });
    return json;
}

JsonBlock DownloadEntry::GetAsJson() const
{
    JsonBlock json;
    VisitMembers(true, [&json](const char* label, const auto& value) { json.Add(JsonElement(label, value)); });
    return json;
}

void DownloadEntry::AppendRecordTo(std::string& out, unsigned int depth) const
{
    Ostrel::JsonObjectWriter writer(out, depth, false);
    VisitMembers(false, [&writer](const char* label, const auto& value) { writer.Member(label, value); });
    writer.End();
}

void DownloadEntry::AppendJsonTo(std::string& out, unsigned int depth) const
{
    Ostrel::JsonObjectWriter writer(out, depth, false);
    VisitMembers(true, [&writer](const char* label, const auto& value) { writer.Member(label, value); });
    writer.End();
}

template <typename Visit>
void DownloadEntry::VisitMembers(bool withProgress, Visit visit) const
{
    // Read first: what a worker writes before the entry turns FINISHED (its library_path) is then
    // seen along with a FINISHED read here, although "status" comes later.
    const DOWNLOAD_STATUS current = status;
    // In the order they are rendered in (by label): a block built of them finds them sorted
    // already, and a writer must meet them so.
    visit("audio_format", audio_format);
    visit("description", description);
    if (withProgress)
        visit("download_eta", static_cast<long long>(download_eta.load()));
    visit("download_progress", static_cast<long long>(download_progress.load()));
    if (withProgress)
        visit("download_speed", static_cast<long long>(download_speed.load()));
    visit("download_url", download_url);
    visit("downloaded_filename", downloaded_filename);
    visit("duration", static_cast<long long>(duration));
    visit("error_message", ErrorMessage());
    visit("library_path", LibraryPath());
    if (mode >= VIDEO && mode <= AUDIO)
        visit("mode", modeWords[mode]);
    visit("pelko_id", pelko_id);
    visit("playlist_index", static_cast<long long>(playlist_index));
    visit("quality", quality);
    visit("queued_timestamp", static_cast<long long>(queued_timestamp));
    if (withProgress)
    {
        visit("restored", restored);
        visit("stage", Stage());
    }
    if (current >= QUEUED && current <= FAILED)
        visit("status", statusWords[current]);
    // Only on downloads a subscription queued, so other entries read as they always did.
    if (!subscription_id.empty())
    {
        visit("subscription_id", subscription_id);
        visit("subscription_name", subscription_name);
    }
    visit("thumbnail_url", thumbnail_url);
    visit("title", title);
    if (withProgress)
        visit("total_bytes", static_cast<long long>(total_bytes.load()));
    visit("uploader", uploader);
    visit("video_url", video_url);
    visit("webpage_url", webpage_url);
}

namespace
{
    // The members every kind of record shares.
    DownloadEntry FromRecord(const JsonBlock& record)
    {
        DownloadEntry entry;
        TakeString(record, "title", entry.title);
        TakeString(record, "description", entry.description);
        TakeString(record, "uploader", entry.uploader);
        TakeInteger(record, "duration", entry.duration);
        TakeString(record, "pelko_id", entry.pelko_id);
        TakeString(record, "webpage_url", entry.webpage_url);
        TakeString(record, "video_url", entry.video_url);
        TakeString(record, "thumbnail_url", entry.thumbnail_url);
        TakeString(record, "download_url", entry.download_url);
        TakeString(record, "downloaded_filename", entry.downloaded_filename);
        TakeInteger(record, "queued_timestamp", entry.queued_timestamp);
        if (Has(record, "mode", Ostrel::STRING))
            entry.mode = record.Get("mode").GetStringData() == "audio" ? AUDIO : VIDEO;
        // Records of earlier versions have neither; a quality no longer offered means the best.
        std::string quality;
        TakeString(record, "quality", quality);
        if (FormatChoice::IsQuality(quality))
            entry.quality = quality;
        // Before there was a choice, sound was always MP3.
        std::string audioFormat;
        TakeString(record, "audio_format", audioFormat);
        if (FormatChoice::IsAudioFormat(audioFormat))
            entry.audio_format = audioFormat;
        TakeInteger(record, "playlist_index", entry.playlist_index);
        if (entry.playlist_index < 0)
            entry.playlist_index = 0;
        TakeString(record, "subscription_id", entry.subscription_id);
        TakeString(record, "subscription_name", entry.subscription_name);
        return entry;
    }
}

DownloadEntry DownloadEntry::FromIndexRecord(const JsonBlock& record)
{
    DownloadEntry entry = FromRecord(record);
    std::string libraryPath;
    TakeString(record, "library_path", libraryPath);
    entry.SetLibraryPath(std::move(libraryPath));
    entry.status = FINISHED;
    entry.download_progress = 100;
    return entry;
}

DownloadEntry DownloadEntry::FromQueueRecord(const JsonBlock& record)
{
    DownloadEntry entry = FromRecord(record);
    std::string status;
    TakeString(record, "status", status);
    if (status == "failed")
    {
        std::string error;
        TakeString(record, "error_message", error);
        int32_t progress = -1;
        TakeInteger(record, "download_progress", progress);
        entry.Fail(error, progress);
    }
    // Anything else was waiting or running and starts again from the beginning.
    return entry;
}

std::string DownloadEntry::Stage() const
{
    const DOWNLOAD_STATUS current = status;
    if (current == DOWNLOADING && converting)
        return "converting";
    return current >= QUEUED && current <= FAILED ? statusWords[current] : "";
}

void DownloadEntry::Fail(const std::string& message, int32_t progress)
{
    error_message = message;
    download_progress = progress;
    status.store(FAILED, std::memory_order_release);
}

void DownloadEntry::Requeue()
{
    status = QUEUED;
    download_progress = 0;
    download_speed = 0;
    download_eta = -1;
    total_bytes = 0;
    converting = false;
    error_message.clear();
}

std::string DownloadEntry::LibraryPath() const
{
    return status.load(std::memory_order_acquire) == FINISHED ? library_path : "";
}

void DownloadEntry::SetLibraryPath(std::string path)
{
    library_path = std::move(path);
}

std::string DownloadEntry::ErrorMessage() const
{
    return status.load(std::memory_order_acquire) == FAILED ? error_message : "";
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
