#include <gtest/gtest.h>
#include "subscriptions/FollowedAddress.h"

TEST(FollowedAddressTest, AChannelsOwnAddressFollowsItsVideosTab)
{
    const std::pair<const char*, const char*> cases[] = {
        {"https://www.youtube.com/@cooking", "https://www.youtube.com/@cooking/videos"},
        {"https://www.youtube.com/@cooking/", "https://www.youtube.com/@cooking/videos"},
        {"https://m.youtube.com/@cooking?si=Ab12", "https://m.youtube.com/@cooking/videos"},
        {"https://youtube.com/channel/UCabcdefghijklmnopqrstuv", "https://youtube.com/channel/UCabcdefghijklmnopqrstuv/videos"},
        {"https://www.youtube.com/c/Cooking#about", "https://www.youtube.com/c/Cooking/videos"},
        {"https://www.youtube.com/user/cooking", "https://www.youtube.com/user/cooking/videos"},
        // A tab that the address names, a playlist, another site: as they are.
        {"https://www.youtube.com/@cooking/shorts", "https://www.youtube.com/@cooking/shorts"},
        {"https://www.youtube.com/@cooking/videos", "https://www.youtube.com/@cooking/videos"},
        {"https://www.youtube.com/playlist?list=PL123", "https://www.youtube.com/playlist?list=PL123"},
        {"https://www.youtube.com/@", "https://www.youtube.com/@"},
        {"https://notyoutube.com/@cooking", "https://notyoutube.com/@cooking"},
        {"https://videos.example/channel?next=youtube.com/@x", "https://videos.example/channel?next=youtube.com/@x"},
        {"youtube.com/@cooking", "youtube.com/@cooking/videos"},
    };
    for (const auto& [given, followed] : cases)
        EXPECT_EQ(Subscriptions::FollowedAddress(given), followed) << given;
}
