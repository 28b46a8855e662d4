#include "feeds/PodcastFeed.h"
#include <ctime>
#include <filesystem>
#include <pugixml.hpp>
#include <sstream>
#include "downloader/DownloadManager.h"
#include "subscriptions/SubscriptionManager.h"

using namespace Feeds;
using Downloader::DownloadEntry;

namespace
{
    constexpr const char* itunesNamespace = "http://www.itunes.com/dtds/podcast-1.0.dtd";
    // The page's own icon, which the gate serves without a password.
    constexpr const char* channelImage = "/icons/pelko-512.png";

    // XML 1.0 cannot carry control characters other than tab and line ends, not even escaped;
    // titles and descriptions from video sites sometimes hold them.
    std::string XmlText(const std::string& text)
    {
        std::string clean;
        clean.reserve(text.size());
        for (const char c : text)
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                clean += c;
        return clean;
    }

    void AddText(pugi::xml_node parent, const char* name, const std::string& text)
    {
        parent.append_child(name).text().set(XmlText(text).c_str());
    }

    // RFC 822, as RSS wants it.
    std::string PubDate(time_t time)
    {
        std::tm parts{};
        gmtime_r(&time, &parts);
        static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        char text[64];
        std::snprintf(text, sizeof(text), "%s, %02d %s %04d %02d:%02d:%02d GMT", days[parts.tm_wday], parts.tm_mday,
                      months[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
        return text;
    }

    void AddItem(pugi::xml_node channel, const PodcastFeed::Item& item, const PodcastFeed::Addresses& addresses)
    {
        const DownloadEntry& entry = *item.entry;
        pugi::xml_node node = channel.append_child("item");
        AddText(node, "title", entry.title);
        AddText(node, "description", entry.description);
        if (!entry.webpage_url.empty())
            AddText(node, "link", entry.webpage_url);
        pugi::xml_node guid = node.append_child("guid");
        guid.append_attribute("isPermaLink") = "false";
        guid.text().set(entry.pelko_id.c_str());
        AddText(node, "pubDate", PubDate(entry.queued_timestamp));
        if (entry.duration >= 0)
            AddText(node, "itunes:duration", std::to_string(entry.duration));
        if (!entry.thumbnail_url.empty())
            node.append_child("itunes:image").append_attribute("href") = XmlText(entry.thumbnail_url).c_str();
        pugi::xml_node enclosure = node.append_child("enclosure");
        enclosure.append_attribute("url") = (addresses.base + entry.download_url + addresses.query).c_str();
        enclosure.append_attribute("length") = std::to_string(item.fileSize).c_str();
        enclosure.append_attribute("type") = Downloader::FormatChoice::MediaType(entry.mode, entry.audio_format).c_str();
    }
}

std::string PodcastFeed::RenderItems(const std::string& title, const std::string& description,
                                     const std::vector<Item>& items, const Addresses& addresses)
{
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    pugi::xml_node rss = document.append_child("rss");
    rss.append_attribute("version") = "2.0";
    rss.append_attribute("xmlns:itunes") = itunesNamespace;
    pugi::xml_node channel = rss.append_child("channel");
    AddText(channel, "title", title);
    AddText(channel, "link", addresses.base + "/");
    AddText(channel, "description", description);
    AddText(channel, "itunes:author", "Pelko");
    channel.append_child("itunes:image").append_attribute("href") = (addresses.base + channelImage).c_str();
    for (const Item& item : items)
        AddItem(channel, item, addresses);

    std::ostringstream text;
    document.save(text, "  ", pugi::format_default, pugi::encoding_utf8);
    return text.str();
}

bool PodcastFeed::Render(const std::string& name, const Addresses& addresses, std::string& xml)
{
    const Subscriptions::Subscription* subscription = nullptr;
    if (name != allName)
    {
        subscription = Subscriptions::SubscriptionManager::Find(name);
        if (subscription == nullptr)
            return false;
    }

    const auto listing = Downloader::DownloadManager::SelectListing(-1, UINT64_MAX);
    std::vector<Item> items;
    for (const auto& entry : listing)
    {
        if (items.size() == maxItems)
            break;
        if (entry->status != Downloader::FINISHED || (subscription != nullptr && entry->subscription_id != name))
            continue;
        // A file that went from the cache cannot be fetched: no item points to it.
        std::error_code error;
        const auto size = std::filesystem::file_size(entry->downloaded_filename, error);
        if (!error)
            items.push_back({entry.get(), static_cast<int64_t>(size)});
    }
    xml = subscription == nullptr
              ? RenderItems("Pelko: all downloads", "Every finished download of this Pelko server.", items, addresses)
              : RenderItems("Pelko: " + subscription->name, "The downloads of " + subscription->url + ".", items,
                            addresses);
    return true;
}
