#include <algorithm>
#include <unordered_set>
#include "downloader/DownloadManager.h"
#include "rest/RestQueryHandler.h"

using namespace Rest;
using Downloader::DownloadManager;

// One id of a command about several downloads: its change, or why it was refused.
struct RestQueryHandler::BulkChange
{
    std::string id;
    std::shared_ptr<Downloader::PendingChange> change;  // null when refused
    std::string refusal;
};

Refusal RestQueryHandler::RequireDownloadIds(const Ostrel::JsonBlock& request, const char* doing,
                                             std::vector<std::string>& ids)
{
    if (Refusal refusal = RequireField("ids", Ostrel::ARRAY, request))
        return refusal;
    const Ostrel::JsonArray& given = request.Get("ids").GetArrayData();
    std::unordered_set<std::string> seen;
    for (size_t i = 0; i < given.Size(); i++)
    {
        if (given.At(i).GetDataType() != Ostrel::STRING)
            return Refuse("Parameter 'ids' is of wrong value. Should be a list of pelko ids.");
        // An id named twice is done once.
        if (seen.insert(given.At(i).GetStringData()).second)
            ids.push_back(given.At(i).GetStringData());
    }
    log->stream << doing << " " << ids.size() << (ids.size() == 1 ? " download..." : " downloads...");
    log->Flush();
    return std::nullopt;
}

std::string RestQueryHandler::RetryFailure(const std::string& id, const Downloader::PendingChange& retry)
{
    if (retry.removed)
        return "The download \"" + id + "\" was removed before it was queued again.";
    return retry.failure.empty() ? "" : "The download failed again: " + retry.failure;
}

Reply RestQueryHandler::RetryDownloads(const Ostrel::JsonBlock& request)
{
    std::vector<std::string> ids;
    if (Refusal refusal = RequireDownloadIds(request, "Retrying", ids))
        return std::move(*refusal);
    const std::vector<Downloader::ChangeRequest> requests = DownloadManager::RetryDownloads(ids, requester);
    auto changes = std::make_shared<std::vector<BulkChange>>();
    for (size_t i = 0; i < ids.size(); i++)
        changes->push_back({ids[i], requests[i].change, requests[i].refusal});
    return ReplyWhenAllDone(changes, RetryFailure, "queued again");
}

Reply RestQueryHandler::RemoveDownloadEntries(const Ostrel::JsonBlock& request)
{
    std::vector<std::string> ids;
    if (Refusal refusal = RequireDownloadIds(request, "Removing", ids))
        return std::move(*refusal);
    const std::vector<std::shared_ptr<Downloader::PendingChange>> removals = DownloadManager::StartRemovals(ids);
    auto changes = std::make_shared<std::vector<BulkChange>>();
    for (size_t i = 0; i < ids.size(); i++)
        changes->push_back({ids[i], removals[i], removals[i] ? "" : "No download has the id \"" + ids[i] + "\"."});
    // A removal that is done has removed its entry.
    return ReplyWhenAllDone(changes, [](const std::string&, const Downloader::PendingChange&) { return std::string(); },
                            "removed");
}

Reply RestQueryHandler::ReplyWhenAllDone(const std::shared_ptr<const std::vector<BulkChange>>& changes,
                                         const FailureOf& failureOf, const std::string& doneWords)
{
    // Each change tells what it left when it completed, whenever the reply is made.
    const auto reply = [changes, failureOf, doneWords] {
        Ostrel::JsonArray done;
        Ostrel::JsonArray notDone;
        for (const BulkChange& item : *changes)
        {
            const std::string failure = item.change ? failureOf(item.id, *item.change) : item.refusal;
            if (failure.empty())
            {
                done.Add(item.id);
                continue;
            }
            Ostrel::JsonBlock why;
            why.Set("id") = item.id;
            why.Set("message") = failure;
            notDone.Add(std::move(why));
        }
        Reply answer = Reply::WithMessage(OK, std::to_string(done.Size()) + " of " + std::to_string(changes->size()) +
                                                  (changes->size() == 1 ? " download " : " downloads ") + doneWords +
                                                  ".");
        answer.Set("done") = std::move(done);
        answer.Set("not_done") = std::move(notDone);
        return answer;
    };
    const auto settled = [changes] {
        return std::all_of(changes->begin(), changes->end(), [](const BulkChange& item) {
            return item.change == nullptr || DownloadManager::IsDone(*item.change);
        });
    };
    if (settled())
        return reply();
    return Reply::Held({settled, reply});
}
