#include "subscriptions/Subscription.h"
#include "config/XGConfig.h"
#include "downloader/FormatChoice.h"
#include "json/Json.h"

using namespace Subscriptions;
using Ostrel::JsonBlock;
using Ostrel::JsonElement;

namespace
{
    template <typename Field>
    void Take(const JsonBlock& record, const std::string& label, Field& field)
    {
        if constexpr (std::is_same_v<Field, std::string>)
        {
            if (XGConfig::IsJsonFieldValid(record, label, Ostrel::STRING))
                field = record.Get(label).GetStringData();
        }
        else if constexpr (std::is_same_v<Field, bool>)
        {
            if (XGConfig::IsJsonFieldValid(record, label, Ostrel::BOOL))
                field = record.Get(label).GetBoolData();
        }
        else if (XGConfig::IsJsonFieldValid(record, label, Ostrel::INT))
            field = static_cast<Field>(record.Get(label).GetIntData());
    }
}

std::string Subscription::ModeName() const
{
    return mode == Downloader::AUDIO ? "audio" : "video";
}

JsonBlock Subscription::GetAsJson() const
{
    JsonBlock json;
    json.Add(JsonElement("audio_format", audio_format));
    json.Add(JsonElement("backlog", backlog));
    json.Add(JsonElement("check_interval", check_interval));
    json.Add(JsonElement("enabled", enabled));
    json.Add(JsonElement("feed", !feed_query.empty()));
    json.Add(JsonElement("id", id));
    json.Add(JsonElement("keep_last", keep_last));
    json.Add(JsonElement("last_check", static_cast<long long>(last_check)));
    json.Add(JsonElement("last_error", last_error));
    json.Add(JsonElement("mode", ModeName()));
    json.Add(JsonElement("name", name));
    json.Add(JsonElement("next_check", static_cast<long long>(next_check)));
    json.Add(JsonElement("quality", quality));
    json.Add(JsonElement("url", url));
    json.Add(JsonElement("videos_queued", static_cast<long long>(videos_queued)));
    json.Add(JsonElement("videos_seen", static_cast<long long>(videos_seen)));
    return json;
}

JsonBlock Subscription::GetAsRecord() const
{
    JsonBlock record = GetAsJson();
    record.Add(JsonElement("feed_query", feed_query));
    record.Add(JsonElement("last_listing", static_cast<long long>(last_listing)));
    record.Add(JsonElement("list_identity", list_identity));
    record.Add(JsonElement("listing_depth", listing_depth));
    record.Add(JsonElement("throttled_checks", throttled_checks));
    return record;
}

bool Subscription::FromRecord(const JsonBlock& record, Subscription& subscription)
{
    Subscription read;
    Take(record, "id", read.id);
    Take(record, "url", read.url);
    Take(record, "name", read.name);
    std::string mode;
    Take(record, "mode", mode);
    read.mode = mode == "audio" ? Downloader::AUDIO : Downloader::VIDEO;
    std::string quality;
    Take(record, "quality", quality);
    if (Downloader::FormatChoice::IsQuality(quality))
        read.quality = quality;
    std::string audioFormat;
    Take(record, "audio_format", audioFormat);
    if (Downloader::FormatChoice::IsAudioFormat(audioFormat))
        read.audio_format = audioFormat;
    Take(record, "check_interval", read.check_interval);
    Take(record, "backlog", read.backlog);
    Take(record, "keep_last", read.keep_last);
    Take(record, "enabled", read.enabled);
    Take(record, "last_check", read.last_check);
    Take(record, "next_check", read.next_check);
    Take(record, "last_error", read.last_error);
    Take(record, "videos_seen", read.videos_seen);
    Take(record, "videos_queued", read.videos_queued);
    Take(record, "feed_query", read.feed_query);
    Take(record, "list_identity", read.list_identity);
    Take(record, "last_listing", read.last_listing);
    Take(record, "listing_depth", read.listing_depth);
    Take(record, "throttled_checks", read.throttled_checks);
    if (read.id.empty() || read.url.empty())
        return false;
    subscription = std::move(read);
    return true;
}
