#include <gtest/gtest.h>
#include "notifications/Notification.h"
#include "notifications/WebhookSender.h"

using Notifications::Notification;

namespace
{
    Ostrel::JsonData Entry(const std::string& title, const std::string& error)
    {
        Ostrel::JsonBlock entry;
        entry.Set("title") = title;
        entry.Set("error_message") = error;
        entry.Set("webpage_url") = "https://videos.example/v";
        return Ostrel::JsonData(entry);
    }
}

TEST(NotificationTest, TitlesSayWhatHappenedInPlainWords)
{
    struct Case
    {
        Notification notification;
        std::string title;
    };
    const Case cases[] = {
        {Notification("finished", 1, Entry("Song", ""), ""), "Finished: Song"},
        {Notification("failed", 1, Entry("Song", "No such video."), ""), "Failed: Song — No such video."},
        {Notification("failed", 1, Entry("Song", ""), ""), "Failed: Song"},
        {Notification("queued", 1, Entry("Song", ""), ""), "Queued: Song"},
        {Notification("subscription_error", 1, Ostrel::JsonData(), "News", "The channel is gone."),
         "Subscription failed: News — The channel is gone."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.notification.Title(), c.title);
    EXPECT_EQ(cases[0].notification.Text(), "Finished: Song\nhttps://videos.example/v");
}

TEST(NotificationTest, ReadsBackOnlyWhatItWrote)
{
    const Notification written("finished", 7, Entry("Song", ""), "Subs");
    Notification read;
    ASSERT_TRUE(Notification::FromDocument(written.Document(), read));
    EXPECT_EQ(read.Body(), written.Body());
    Ostrel::JsonBlock broken;
    broken.Set("event") = 3;
    EXPECT_FALSE(Notification::FromDocument(broken, read));
}

TEST(WebhookSenderTest, SignatureIsHmacSha256OfTheBody)
{
    // RFC 4231, test case 2.
    EXPECT_EQ(Notifications::WebhookSender::Signature("Jefe", "what do ya want for nothing?"),
              "sha256=5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
}
