#include "subscriptions/YouTubeFeed.h"
#include <pugixml.hpp>
#include "app/HttpClient.h"

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
    HttpClient::Request request;
    request.url = url;
    request.limit = 4 * 1024 * 1024;
    request.timeoutSeconds = 60;
    request.stop = stop;
    HttpClient::Response response = HttpClient::Perform(request);
    Read read;
    if (response.outcome == HttpClient::STOPPED)
        read.error = stoppedText;
    else if (response.outcome == HttpClient::TOO_LARGE)
        read.error = "The feed " + url + " is larger than 4 MiB.";
    else if (response.outcome == HttpClient::FAILED)
        read.error = "Could not read the feed " + url + ": " + response.error + ".";
    else if (response.status != 200)
        read.error = "Could not read the feed " + url + ": the server answered with HTTP status " +
                     std::to_string(response.status) + ".";
    if (!read.error.empty())
        return read;
    return Parse(response.body);
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
