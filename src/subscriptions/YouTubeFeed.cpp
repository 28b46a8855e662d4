#include "subscriptions/YouTubeFeed.h"
#include <pugixml.hpp>
#include "app/WebFetch.h"

using namespace Subscriptions;

namespace
{
    constexpr const char* stoppedText = "The check was stopped: the server is shutting down.";

    bool IsChannelId(const std::string& id)
    {
        return id.size() == 24 && id.rfind("UC", 0) == 0;
    }
}

std::string YouTubeFeed::QueryFor(const Downloader::FlatListing& listing, const std::string& url)
{
    if (listing.extractorKey != "YoutubeTab")
        return "";
    // A channel's tab lists under the channel's id; a playlist under its own.
    if (url.find("list=") == std::string::npos)
    {
        if (IsChannelId(listing.channelId))
            return "channel_id=" + listing.channelId;
        if (IsChannelId(listing.id))
            return "channel_id=" + listing.id;
    }
    return listing.id.empty() ? "" : "playlist_id=" + listing.id;
}

YouTubeFeed::Read YouTubeFeed::Fetch(const std::string& feedUrl, const std::string& query,
                                     const std::atomic<bool>* stop)
{
    const std::string url = feedUrl + (feedUrl.find('?') == std::string::npos ? "?" : "&") + query;
    Read read;
    if (!WebFetch::IsSafeAddress(url))
    {
        read.error = "The feed address \"" + url + "\" is no https:// address.";
        return read;
    }
    std::string text;
    if (const auto error = WebFetch::Get(url, {4 * 1024 * 1024, 60}, stop, stoppedText, text))
    {
        read.error = *error;
        return read;
    }
    return Parse(text);
}

YouTubeFeed::Read YouTubeFeed::Parse(const std::string& text)
{
    Read read;
    pugi::xml_document document;
    const pugi::xml_node feed = document.load_buffer(text.data(), text.size()) ? document.child("feed") : pugi::xml_node();
    if (!feed)
    {
        read.error = "The feed is no Atom feed.";
        return read;
    }
    read.usable = true;
    for (const pugi::xml_node entry : feed.children("entry"))
    {
        const std::string id = entry.child_value("yt:videoId");
        std::string url;
        for (const pugi::xml_node link : entry.children("link"))
            if (std::string(link.attribute("rel").as_string("alternate")) == "alternate")
                url = link.attribute("href").as_string();
        if (id.empty() || url.empty())
            continue;
        read.videos.push_back({"youtube " + id, url, entry.child_value("title")});
    }
    return read;
}
