#include <gtest/gtest.h>
#include "subscriptions/YouTubeFeed.h"

using Subscriptions::YouTubeFeed;

namespace
{
    const std::string head = "<?xml version=\"1.0\"?><feed xmlns:yt=\"http://www.youtube.com/xml/schemas/2015\" "
                             "xmlns=\"http://www.w3.org/2005/Atom\"><title>Channel</title>";

    std::string Entry(const std::string& id, const std::string& links)
    {
        return "<entry><yt:videoId>" + id + "</yt:videoId><title>Title " + id + "</title>" + links + "</entry>";
    }
}

TEST(YouTubeFeedTest, EntriesBecomeIdentitiesWithTheirPagesNewestFirst)
{
    const YouTubeFeed::Read read = YouTubeFeed::Parse(
        head + Entry("b", "<link rel=\"alternate\" href=\"https://www.youtube.com/watch?v=b\"/>") +
        // A feed's other links are not the video's page.
        Entry("a", "<link rel=\"self\" href=\"https://x/self\"/><link href=\"https://www.youtube.com/watch?v=a\"/>") +
        Entry("", "<link rel=\"alternate\" href=\"https://www.youtube.com/watch?v=none\"/>") +
        Entry("c", "") + "</feed>");
    ASSERT_TRUE(read.usable);
    ASSERT_EQ(read.videos.size(), 2u);
    EXPECT_EQ(read.videos[0].identity, "youtube b");
    EXPECT_EQ(read.videos[0].url, "https://www.youtube.com/watch?v=b");
    EXPECT_EQ(read.videos[0].title, "Title b");
    EXPECT_EQ(read.videos[1].identity, "youtube a");
    EXPECT_EQ(read.videos[1].url, "https://www.youtube.com/watch?v=a");
}

TEST(YouTubeFeedTest, TextThatIsNoFeedIsNotUsable)
{
    for (const std::string text : {"", "<html><body>Sorry</body></html>", "<feed><entry>", "{\"feed\": 1}"})
    {
        const YouTubeFeed::Read read = YouTubeFeed::Parse(text);
        EXPECT_FALSE(read.usable) << text;
        EXPECT_EQ(read.error, "The feed is no Atom feed.") << text;
    }
    EXPECT_TRUE(YouTubeFeed::Parse(head + "</feed>").usable);
}

TEST(YouTubeFeedTest, OnlyListsThatYouTubeListsHaveAFeed)
{
    struct Case
    {
        const char* extractor;
        const char* id;
        const char* channelId;
        const char* url;
        const char* query;
    };
    const Case cases[] = {
        {"YoutubeTab", "UCabcdefghijklmnopqrstuv", "", "https://www.youtube.com/@x/videos",
         "channel_id=UCabcdefghijklmnopqrstuv"},
        {"YoutubeTab", "UUabcdefghijklmnopqrstuv", "UCabcdefghijklmnopqrstuv", "https://www.youtube.com/@x/videos",
         "channel_id=UCabcdefghijklmnopqrstuv"},
        {"YoutubeTab", "PLxyz", "UCabcdefghijklmnopqrstuv", "https://www.youtube.com/playlist?list=PLxyz",
         "playlist_id=PLxyz"},
        {"Fake", "UCabcdefghijklmnopqrstuv", "UCabcdefghijklmnopqrstuv", "https://videos.example/c", ""},
        {"YoutubeTab", "", "", "https://www.youtube.com/@x/videos", ""},
    };
    for (const Case& c : cases)
    {
        Downloader::FlatListing listing;
        listing.extractorKey = c.extractor;
        listing.id = c.id;
        listing.channelId = c.channelId;
        EXPECT_EQ(YouTubeFeed::QueryFor(listing, c.url), c.query) << c.url << " " << c.id;
    }
}
