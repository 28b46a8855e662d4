#include <algorithm>
#include <filesystem>
#include "app/TextSearch.h"
#include "downloader/DownloadManager.h"

using namespace Downloader;

namespace
{
    // A matching entry with its queue time beside it: the orders compare that first, and most
    // often only that, without reaching into tens of thousands of entries spread over the memory
    // (a history saved oldest first is the newest-first page's worst case: every entry is compared).
    struct Match
    {
        int64_t queued;
        const std::shared_ptr<DownloadEntry>* entry;
    };

    bool Newer(const Match& a, const Match& b)
    {
        if (a.queued != b.queued)
            return a.queued > b.queued;
        return (*a.entry)->pelko_id > (*b.entry)->pelko_id;
    }

    int64_t FileSize(DownloadEntry& entry)
    {
        if (entry.file_size == -1)
        {
            std::error_code error;
            const uintmax_t size = entry.status == FINISHED && !entry.downloaded_filename.empty()
                                       ? std::filesystem::file_size(entry.downloaded_filename, error)
                                       : 0;
            entry.file_size = entry.status == FINISHED && !error && !entry.downloaded_filename.empty()
                                  ? static_cast<int64_t>(size)
                                  : -2;
        }
        return entry.file_size;
    }

    // The query's order as "a before b".
    bool Before(HISTORY_SORT sort, const Match& x, const Match& y)
    {
        if (sort == NEWEST)
            return Newer(x, y);
        if (sort == OLDEST)
            return Newer(y, x);
        const DownloadEntry& a = **x.entry;
        const DownloadEntry& b = **y.entry;
        int order = 0;
        switch (sort)
        {
            case BY_TITLE:
                order = TextSearch::CompareFolded(a.title, b.title);
                break;
            case BY_UPLOADER:
                order = TextSearch::CompareFolded(a.uploader, b.uploader);
                break;
            case BY_DURATION:
                order = a.duration == b.duration ? 0 : a.duration > b.duration ? -1 : 1;
                break;
            case BY_SIZE:
                order = a.file_size == b.file_size ? 0 : a.file_size > b.file_size ? -1 : 1;
                break;
            default:
                break;
        }
        return order != 0 ? order < 0 : Newer(x, y);
    }
}

HistoryPage DownloadManager::QueryHistory(const HistoryQuery& query)
{
    const TextSearch search(query.search);
    // Pointers into the lists, so that only the page's entries are shared out.
    std::vector<Match> matches;
    const auto consider = [&](const std::shared_ptr<DownloadEntry>& entry) {
        const DownloadEntry& e = *entry;
        if ((query.mode && e.mode != *query.mode) || (query.status && e.status != *query.status) ||
            (query.subscriptionId && e.subscription_id != *query.subscriptionId))
            return;
        if (!search.IsEmpty() && !search.IsIn(e.title) && !search.IsIn(e.uploader) && !search.IsIn(e.webpage_url) &&
            !search.IsIn(e.video_url))
            return;
        matches.push_back({static_cast<int64_t>(e.queued_timestamp), &entry});
    };
    for (const std::shared_ptr<DownloadEntry>& entry : unfinishedCache)
        consider(entry);
    for (const std::shared_ptr<DownloadEntry>& entry : saveFileCache)
        consider(entry);
    if (query.sort == BY_SIZE)
        for (const Match& match : matches)
            FileSize(**match.entry);

    HistoryPage page;
    page.total = matches.size();
    const size_t first = std::min(query.offset, matches.size());
    const size_t last = first + std::min(query.limit, matches.size() - first);
    const auto before = [sort = query.sort](const Match& a, const Match& b) { return Before(sort, a, b); };
    // Only the page is put in order: everything before it merely comes before it.
    if (first > 0)
        std::nth_element(matches.begin(), matches.begin() + first, matches.end(), before);
    std::partial_sort(matches.begin() + first, matches.begin() + last, matches.end(), before);
    for (size_t i = first; i < last; i++)
        page.entries.push_back(*matches[i].entry);
    return page;
}
