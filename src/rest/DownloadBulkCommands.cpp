#include <algorithm>
#include <unordered_set>
#include "downloader/DownloadManager.h"
#include "rest/RestQueryHandler.h"

using namespace Rest;
using Downloader::DownloadManager;

// One id of a command about several downloads: its change (null when refused) and, once that is
// done, what became of it.
struct RestQueryHandler::BulkChange
{
    std::string id;
    std::shared_ptr<Downloader::PendingChange> change;
    std::string failure;  // why it could not be done; empty when it was
    bool settled = false;
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

std::string RestQueryHandler::RetryFailure(const std::string& id)
{
    if (!DownloadManager::DoesPelkoIDExist(id))
        return "The download \"" + id + "\" was removed before it was queued again.";
    const Downloader::DownloadEntry& entry = DownloadManager::GetDownloadEntryByPelkoID(id);
    return entry.status == Downloader::FAILED ? "The download failed again: " + entry.ErrorMessage() : "";
}

Reply RestQueryHandler::RetryDownloads(const Ostrel::JsonBlock& request)
{
    std::vector<std::string> ids;
    if (Refusal refusal = RequireDownloadIds(request, "Retrying", ids))
        return std::move(*refusal);
    const std::vector<Downloader::ChangeRequest> requests = DownloadManager::RetryDownloads(ids, requester);
    auto changes = std::make_shared<std::vector<BulkChange>>();
    for (size_t i = 0; i < ids.size(); i++)
        changes->push_back({ids[i], requests[i].change, requests[i].refusal, requests[i].change == nullptr});
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
        changes->push_back({ids[i], removals[i], removals[i] ? "" : "No download has the id \"" + ids[i] + "\".",
                            removals[i] == nullptr});
    // A removal that is done has removed its entry.
    return ReplyWhenAllDone(changes, [](const std::string&) { return std::string(); }, "removed");
}

Reply RestQueryHandler::ReplyWhenAllDone(const std::shared_ptr<std::vector<BulkChange>>& changes,
                                         const std::function<std::string(const std::string& id)>& failureOf,
                                         const std::string& doneWords)
{
    for (size_t i = 0; i < changes->size(); i++)
    {
        BulkChange& item = (*changes)[i];
        if (item.settled)
            continue;
        if (item.change->done)
        {
            item.failure = failureOf(item.id);
            item.settled = true;
            continue;
        }
        // As the commands about one download, each tells the state of the moment its change
        // completed. Weak: the changes hold what they call, and a reply no one waits for goes.
        item.change->whenDone = [weak = std::weak_ptr(changes), i, failureOf] {
            if (const auto held = weak.lock())
            {
                (*held)[i].failure = failureOf((*held)[i].id);
                (*held)[i].settled = true;
            }
        };
    }
    const auto reply = [changes, doneWords] {
        Ostrel::JsonArray done;
        Ostrel::JsonArray notDone;
        for (const BulkChange& item : *changes)
        {
            if (item.failure.empty())
            {
                done.Add(item.id);
                continue;
            }
            Ostrel::JsonBlock why;
            why.Set("id") = item.id;
            why.Set("message") = item.failure;
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
        const auto open = std::find_if(changes->begin(), changes->end(), [](const BulkChange& item) { return !item.settled; });
        // Asking about one change takes in everything that ended meanwhile.
        return open == changes->end() || (DownloadManager::IsDone(*open->change) &&
                                          std::all_of(open, changes->end(), [](const BulkChange& item) { return item.settled; }));
    };
    if (settled())
        return reply();
    return Reply::Held({settled, reply});
}
