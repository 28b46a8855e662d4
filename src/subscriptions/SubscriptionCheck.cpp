#include "subscriptions/SubscriptionCheck.h"
#include "subscriptions/CheckSchedule.h"
#include "subscriptions/YouTubeFeed.h"

using namespace Subscriptions;

void SubscriptionCheck::Run(const std::atomic<bool>* stop)
{
    std::string feedError;
    if (!feedQuery.empty() && !listingDue)
    {
        YouTubeFeed::Read feed = YouTubeFeed::Fetch(feedUrl, feedQuery, stop);
        if (feed.usable)
        {
            usable = true;
            videos = std::move(feed.videos);
            return;
        }
        feedError = feed.error;
    }
    if (stop != nullptr && *stop)
    {
        error = feedError;
        return;
    }
    listing = Downloader::FlatListing::Read(run, url, listingSize, stop);
    listed = listing.usable || listing.isVideo;
    usable = listing.usable;
    if (usable)
        videos = listing.videos;
    else if (listing.isVideo)
        error = "The address is a single video, not a channel or playlist: queue it as a download instead.";
    else
        // The feed's refusal tells more about why both failed than the listing's.
        error = CheckSchedule::IsThrottled(feedError) ? feedError : listing.error;
}
