#include <gtest/gtest.h>
#include <pugixml.hpp>
#include "feeds/PodcastFeed.h"

using Downloader::DownloadEntry;
using Feeds::PodcastFeed;

namespace
{
    DownloadEntry Finished(const std::string& id, Downloader::DOWNLOAD_MODE mode, const std::string& title,
                           int32_t duration, const std::string& thumbnail)
    {
        DownloadEntry entry;
        entry.pelko_id = id;
        entry.mode = mode;
        entry.title = title;
        entry.description = "About " + title;
        entry.duration = duration;
        entry.thumbnail_url = thumbnail;
        entry.webpage_url = "https://videos.example/" + id;
        entry.download_url = "/download/" + id;
        entry.queued_timestamp = 1700000000;  // Tue, 14 Nov 2023 22:13:20 GMT
        entry.status = Downloader::FINISHED;
        return entry;
    }
}

TEST(PodcastFeedTest, AnItemPerDownloadWithItsEnclosure)
{
    const DownloadEntry audio = Finished("a1", Downloader::AUDIO, "Birds & <bees>", 185, "https://img.example/a1.jpg");
    const DownloadEntry video = Finished("v2", Downloader::VIDEO, std::string("Bell\x07 rings\x1b"), -1, "");
    const std::string xml = PodcastFeed::RenderItems("Pelko: birds", "The downloads of birds.",
                                                     {{&audio, 1234}, {&video, 99}},
                                                     {"http://pelko.lan:6969", "?token=pelko_abc"});

    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(xml.c_str())) << xml;
    const pugi::xml_node rss = document.child("rss");
    EXPECT_STREQ(rss.attribute("version").value(), "2.0");
    EXPECT_STREQ(rss.attribute("xmlns:itunes").value(), "http://www.itunes.com/dtds/podcast-1.0.dtd");
    const pugi::xml_node channel = rss.child("channel");
    EXPECT_STREQ(channel.child_value("title"), "Pelko: birds");
    EXPECT_STREQ(channel.child_value("link"), "http://pelko.lan:6969/");
    EXPECT_STREQ(channel.child("itunes:image").attribute("href").value(), "http://pelko.lan:6969/icons/pelko-512.png");

    const struct
    {
        const char* guid;
        const char* title;
        const char* duration;  // empty: none
        const char* image;     // empty: none
        const char* url;
        const char* length;
        const char* type;
    } expected[] = {
        {"a1", "Birds & <bees>", "185", "https://img.example/a1.jpg", "http://pelko.lan:6969/download/a1?token=pelko_abc",
         "1234", "audio/mpeg"},
        {"v2", "Bell rings", "", "", "http://pelko.lan:6969/download/v2?token=pelko_abc", "99", "video/mp4"},
    };
    size_t index = 0;
    for (const pugi::xml_node item : channel.children("item"))
    {
        ASSERT_LT(index, std::size(expected));
        const auto& want = expected[index++];
        EXPECT_STREQ(item.child_value("guid"), want.guid);
        EXPECT_STREQ(item.child("guid").attribute("isPermaLink").value(), "false");
        EXPECT_STREQ(item.child_value("title"), want.title);
        EXPECT_EQ(std::string(item.child_value("description")), "About " + std::string(want.title));
        EXPECT_STREQ(item.child_value("pubDate"), "Tue, 14 Nov 2023 22:13:20 GMT");
        EXPECT_STREQ(item.child_value("itunes:duration"), want.duration);
        EXPECT_STREQ(item.child("itunes:image").attribute("href").value(), want.image);
        const pugi::xml_node enclosure = item.child("enclosure");
        EXPECT_STREQ(enclosure.attribute("url").value(), want.url);
        EXPECT_STREQ(enclosure.attribute("length").value(), want.length);
        EXPECT_STREQ(enclosure.attribute("type").value(), want.type);
    }
    EXPECT_EQ(index, std::size(expected));
}
