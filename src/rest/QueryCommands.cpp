#include <algorithm>
#include "app/XGControl.h"
#include "downloader/DownloadManager.h"
#include "logging/LogHistory.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;

namespace
{
    constexpr int64_t defaultLimit = 100;
    constexpr int64_t maxLimit = 500;

    // A value that is one of `words`, or nothing when the request has no such member.
    struct Choice
    {
        const char* name;
        std::vector<const char*> words;
    };

    // "either 'a' or 'b'", "one of 'a', 'b' or 'c'"
    std::string Accepted(const std::vector<const char*>& words)
    {
        std::string text = words.size() == 2 ? "either " : "one of ";
        for (size_t i = 0; i < words.size(); i++)
            text += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + ("'" + std::string(words[i]) + "'");
        return text;
    }

    // Reads the parameters every query shares; false when one is wrong, with its 400 reply in `refusal`.
    class QueryParameters
    {
    public:
        explicit QueryParameters(const Ostrel::JsonBlock& request) : request(request) {}

        bool Number(const char* name, int64_t lowest, int64_t highest, int64_t& value)
        {
            if (!request.DoesExist(name))
                return true;
            if (!Typed(name, Ostrel::INT))
                return false;
            const Ostrel::JsonData& given = request.Get(name);
            const bool whole = given.GetDataType() == Ostrel::INT;
            if (whole && given.GetIntData() >= lowest && given.GetIntData() <= highest)
            {
                value = given.GetIntData();
                return true;
            }
            return Refuse(std::string("Parameter '") + name + "' is of wrong value. Should be a whole number " +
                          (highest == INT64_MAX ? "from " + std::to_string(lowest) + " on."
                                                : "from " + std::to_string(lowest) + " to " + std::to_string(highest) + "."));
        }

        bool Text(const char* name, std::string& value)
        {
            if (!request.DoesExist(name))
                return true;
            if (!Typed(name, Ostrel::STRING))
                return false;
            value = request.Get(name).GetStringData();
            return true;
        }

        // The place of the value among `choice.words`, -1 when not given.
        bool Word(const Choice& choice, int& place)
        {
            std::string value;
            place = -1;
            if (!request.DoesExist(choice.name))
                return true;
            if (!Text(choice.name, value))
                return false;
            for (size_t i = 0; i < choice.words.size(); i++)
                if (value == choice.words[i])
                {
                    place = static_cast<int>(i);
                    return true;
                }
            return Refuse(std::string("Parameter '") + choice.name + "' is of wrong value. Should be " +
                          Accepted(choice.words) + ".");
        }

        // "offset", "limit", "search" and "sort" among `sorts` (-1 when not given).
        bool Shared(size_t& offset, size_t& limit, std::string& search, std::vector<const char*> sorts, int& sort)
        {
            int64_t from = 0;
            int64_t count = defaultLimit;
            if (!Number("offset", 0, INT64_MAX, from) || !Number("limit", 1, maxLimit, count) ||
                !Text("search", search) || !Word({"sort", std::move(sorts)}, sort))
                return false;
            offset = static_cast<size_t>(from);
            limit = static_cast<size_t>(count);
            return true;
        }

        bool Typed(const char* name, Ostrel::JSON_DATA_TYPE type)
        {
            Ostrel::JsonBlock wrong;
            if (RestQueryHandler::ValidateField(name, type, request, wrong))
                return true;
            refusal = {BAD_REQUEST, std::move(wrong)};
            return false;
        }

        bool Refuse(const std::string& message)
        {
            refusal = Reply::WithMessage(BAD_REQUEST, message);
            return false;
        }

        const Ostrel::JsonBlock& request;
        Reply refusal;  // once a method has answered false
    };

    // The reply of a query: the template, "total", "offset" and the page under `member`.
    Reply ReplyWithPage(size_t total, size_t offset, const char* member, Ostrel::JsonArray items)
    {
        Reply reply = Reply::Of(OK);
        reply.Set("total") = static_cast<long long>(total);
        reply.Set("offset") = static_cast<long long>(offset);
        reply.Set(member) = std::move(items);
        return reply;
    }
}

Reply RestQueryHandler::FetchHistory(const Ostrel::JsonBlock& request)
{
    QueryParameters parameters(request);
    Downloader::HistoryQuery query;
    int mode = -1;
    int status = -1;
    int sort = -1;
    if (!parameters.Shared(query.offset, query.limit, query.search,
                           {"newest", "oldest", "title", "uploader", "duration", "size"}, sort) ||
        !parameters.Word({"mode", {"video", "audio"}}, mode) ||
        !parameters.Word({"status", {"queued", "downloading", "finished", "failed"}}, status))
        return std::move(parameters.refusal);
    if (request.DoesExist("subscription_id"))
    {
        std::string subscription;
        if (!parameters.Text("subscription_id", subscription))
            return std::move(parameters.refusal);
        query.subscriptionId = std::move(subscription);
    }
    if (mode >= 0)
        query.mode = static_cast<Downloader::DOWNLOAD_MODE>(mode);
    if (status >= 0)
        query.status = static_cast<Downloader::DOWNLOAD_STATUS>(status);
    if (sort >= 0)
        query.sort = static_cast<Downloader::HISTORY_SORT>(sort);

    const Downloader::HistoryPage page = Downloader::DownloadManager::QueryHistory(query);
    Ostrel::JsonArray entries;
    for (const std::shared_ptr<const Downloader::DownloadEntry>& entry : page.entries)
        entries.Add(entry->GetAsJson());
    return ReplyWithPage(page.total, query.offset, "entries", std::move(entries));
}

Reply RestQueryHandler::FetchLogs(const Ostrel::JsonBlock& request)
{
    Logging::LogQuery query;
    int scope = -1, sort = -1;
    QueryParameters parameters(request);
    if (!parameters.Shared(query.offset, query.limit, query.search, {"newest", "oldest"}, sort) ||
        !parameters.Word({"scope", {"session", "alltime"}}, scope))
        return std::move(parameters.refusal);
    if (request.DoesExist("types"))
    {
        if (!parameters.Typed("types", Ostrel::ARRAY))
            return std::move(parameters.refusal);
        const Ostrel::JsonArray& types = request.Get("types").GetArrayData();
        for (size_t i = 0; i < types.Size(); i++)
        {
            const Ostrel::JsonData& type = types.At(i);
            if (type.GetDataType() != Ostrel::INT || type.GetIntData() < Logging::LOG || type.GetIntData() > Logging::ERR)
                return Refuse("Parameter 'types' is of wrong value. Should be a list of log types: "
                              "0 (plain), 1 (warning) or 2 (error).");
            query.types.push_back(static_cast<Logging::LOG_TYPE>(type.GetIntData()));
        }
    }
    // A run's messages as "fetch_session_logs" lists them: from the second before the start.
    if (scope == 0)
        query.since = static_cast<int64_t>(XGControl::boot_time) - 1;
    query.oldestFirst = sort == 1;

    Logging::LogPage page = Logging::LogHistory::QueryLogs(query);
    return ReplyWithPage(page.total, query.offset, "logs", std::move(page.logs));
}
