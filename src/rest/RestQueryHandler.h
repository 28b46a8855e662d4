#pragma once
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "json/Json.h"
#include "logging/Logger.h"
#include "rest/Reply.h"

namespace Downloader
{
    struct ChangeRequest;
    struct PendingChange;
    struct VideoRequest;
    enum DOWNLOAD_MODE : int32_t;
}

namespace Subscriptions
{
    struct Operation;
}

namespace Rest
{
    // The JSON command interface behind "/api": checks the request object, runs the
    // command its "request" member names and hands back the reply object and status.
    class RestQueryHandler
    {
    public:
        static void PreInit();   // creates the logger "RestQueryHandler"
        static void PostExit();  // deletes it

        // Tags this handler's later log lines with "@" + requesterAddress, then runs the command
        // that the "request" member names and gives its reply.
        static Reply ProcessQuery(std::string requesterAddress, const Ostrel::JsonData& request);

        // True when `request` is an object holding the dotted path `name` with a value of
        // `type` (INT and FLOAT stand in for each other). Otherwise `responseBody` becomes a
        // 400 reply saying what is wrong; the caller sets the status.
        static bool ValidateField(std::string name, Ostrel::JSON_DATA_TYPE type, const Ostrel::JsonData& request,
                                  Ostrel::JsonBlock& responseBody);
        // ValidateField for a request already known to be an object, read in place.
        static bool ValidateField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                  const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody);

    private:
        using Command = Reply (*)(const Ostrel::JsonBlock& request);
        struct CommandEntry
        {
            const char* name;
            Command handler;
        };
        // Every command by its name, in dispatch order.
        static const CommandEntry commands[];

        // System commands (SystemCommands.cpp)
        static Reply KillYourself(const Ostrel::JsonBlock& request);
        static Reply Example_Foo(const Ostrel::JsonBlock& request);
        static Reply ShowConsole(const Ostrel::JsonBlock& request);
        static Reply HideConsole(const Ostrel::JsonBlock& request);
        static Reply GetOSName(const Ostrel::JsonBlock& request);
        static Reply GetServerVersion(const Ostrel::JsonBlock& request);
        static Reply SetConsoleShown(bool shown);

        // Download and cache commands (DownloadCommands.cpp)
        // Besides "video_url" and "mode": "quality" (STRING, default "best"), "audio_format"
        // (STRING, default "mp3"), "playlist" (BOOL) and with it "max_items" (INT, default
        // defaultPlaylistItems).
        static Reply QueueDownload(const Ostrel::JsonBlock& request);
        static Reply QueuePlaylist(const Ostrel::JsonBlock& request, const Downloader::VideoRequest& playlist);
        static constexpr int64_t defaultPlaylistItems = 200;
        static constexpr int64_t maxPlaylistItems = 10000;
        static Reply FetchSessionCache(const Ostrel::JsonBlock& request);
        static Reply FetchAlltimeCache(const Ostrel::JsonBlock& request);
        static Reply ClearDownloadCache(const Ostrel::JsonBlock& request);
        static Reply RemoveDownloadEntry(const Ostrel::JsonBlock& request);
        static Reply CancelDownload(const Ostrel::JsonBlock& request);
        static Reply RetryDownload(const Ostrel::JsonBlock& request);

        // Commands about several downloads (DownloadBulkCommands.cpp): "ids" (ARRAY of STRING),
        // each done as the command about one would do it. Answered once every change is done,
        // with "done" (the ids done) and "not_done" ({"id", "message"}: why one could not be).
        static Reply RetryDownloads(const Ostrel::JsonBlock& request);
        static Reply RemoveDownloadEntries(const Ostrel::JsonBlock& request);
        // The "ids" of such a command, each once, logged as "<doing> <count> downloads...".
        static Refusal RequireDownloadIds(const Ostrel::JsonBlock& request, const char* doing,
                                          std::vector<std::string>& ids);
        struct BulkChange;
        // Why a change that is done did not do what it should; empty when it did.
        using FailureOf = std::function<std::string(const std::string& id, const Downloader::PendingChange& change)>;
        // The reply once every change is done, with what `failureOf` tells of each.
        static Reply ReplyWhenAllDone(const std::shared_ptr<const std::vector<BulkChange>>& changes,
                                      const FailureOf& failureOf, const std::string& doneWords);
        // Why the retry of `id`, done, did not queue the download again; empty when it did.
        static std::string RetryFailure(const std::string& id, const Downloader::PendingChange& retry);

        // Subscription commands (SubscriptionCommands.cpp)
        static Reply AddSubscription(const Ostrel::JsonBlock& request);
        static Reply FetchSubscriptions(const Ostrel::JsonBlock& request);
        static Reply UpdateSubscription(const Ostrel::JsonBlock& request);
        static Reply RemoveSubscription(const Ostrel::JsonBlock& request);
        static Reply CheckSubscription(const Ostrel::JsonBlock& request);

        // The reply once `operation` is done: its error (500 when nothing could be saved, else
        // 400), or `message` with the subscription as it is now. A check that failed is answered
        // with its reason, and 200.
        static Reply ReplyToOperation(const Subscriptions::Operation& operation, const std::string& message);
        // The request held until `operation` is done, then ReplyToOperation with `member` set to
        // `count` of it when it succeeded.
        static Reply ReplyWhenDone(const std::shared_ptr<Subscriptions::Operation>& operation,
                                   const std::string& message, const char* member,
                                   size_t (*count)(const Subscriptions::Operation& operation));

        // History and log queries (QueryCommands.cpp): a page ("offset", "limit" 1 to 500, default
        // 100) of what matches "search" and the filters, in the order of "sort"; "total" counts
        // every match. History filters: "mode", "status",
        // "subscription_id"; log filters: "scope", "types".
        static Reply FetchHistory(const Ostrel::JsonBlock& request);
        static Reply FetchLogs(const Ostrel::JsonBlock& request);

        // Downloader program commands (DownloaderProgramCommands.cpp)
        // "cookies" (STRING): a Netscape cookies.txt for every download from now on.
        static Reply SetCookies(const Ostrel::JsonBlock& request);
        static Reply ClearCookies(const Ostrel::JsonBlock& request);
        // The program in use, its version, whether it is Pelko's own copy, whether cookies are set.
        static Reply GetDownloaderInfo(const Ostrel::JsonBlock& request);
        // Installs the latest yt-dlp release as Pelko's own copy; held while it runs.
        static Reply UpdateYoutubeDL(const Ostrel::JsonBlock& request);

        // Log, settings and disk commands (LogAndConfigCommands.cpp)
        static Reply FetchSessionLogs(const Ostrel::JsonBlock& request);
        static Reply FetchAlltimeLogs(const Ostrel::JsonBlock& request);
        static Reply ClearLogs(const Ostrel::JsonBlock& request);
        static Reply UpdateConfig(const Ostrel::JsonBlock& request);
        static Reply ResetConfigDefaults(const Ostrel::JsonBlock& request);
        static Reply GetDiskUsage(const Ostrel::JsonBlock& request);
        // Every setting a client may see: type, default, value, when it applies, whether it is
        // a path, and what it may hold; and whether a password is set.
        static Reply FetchSettingsInfo(const Ostrel::JsonBlock& request);
        // The 500 reply of a settings command whose save failed (`problem` says why).
        static Reply ReplyNotSaved(const std::string& problem);

        // Notification commands (NotificationCommands.cpp)
        // Sends a test notification to every target; held until each has answered.
        static Reply TestNotification(const Ostrel::JsonBlock& request);

        // Access commands (AccessCommands.cpp)
        // "password" (STRING): sets the password, or removes it when empty. Every session ends.
        static Reply SetPassword(const Ostrel::JsonBlock& request);
        // "name" (STRING), "scope" ("full" or "feeds"): a new app token, answered this once as
        // "token"; only with a password set.
        static Reply CreateApiToken(const Ostrel::JsonBlock& request);
        // Every app token's name, scope and times of creation and last use; never a token.
        static Reply FetchApiTokens(const Ostrel::JsonBlock& request);
        // "name" (STRING): the token no longer admits anyone.
        static Reply RevokeApiToken(const Ostrel::JsonBlock& request);

        // A parameter the command cannot do without; when it is missing or of the wrong type, the
        // validator's 400 reply.
        static Refusal RequireField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                    const Ostrel::JsonBlock& request);
        // The optional "mode" ("video" or "audio") of a request, a text parameter `name` that
        // is one of `choices` ("quality", "audio_format"), and a whole number from `min` to
        // `max`: left as they are when absent; a 400 reply that names the parameter when wrong.
        static Refusal TakeMode(const Ostrel::JsonBlock& request, Downloader::DOWNLOAD_MODE& mode);
        static Refusal TakeOneOf(const Ostrel::JsonBlock& request, const std::string& name,
                                 const std::vector<std::string>& choices, std::string& value);
        static Refusal TakeWholeNumber(const Ostrel::JsonBlock& request, const std::string& name, int64_t min,
                                       int64_t max, int64_t& number);

        // The count limit of a listing that has none.
        static constexpr uint64_t allEntries = std::numeric_limits<uint64_t>::max();
        // Seconds since the server started: listings of this run reach back that far.
        static int64_t SecondsSinceBoot();

        // A 400 reply with `message`.
        static Reply Refuse(const std::string& message);
        // The required "id" of a command about one download, logged as "<doing> download id <id>...";
        // the validator's 400 reply when there is none.
        static Refusal RequireDownloadId(const Ostrel::JsonBlock& request, const char* doing, std::string& id);
        // Makes a reply once what it tells is known.
        using ReplyBuilder = std::function<Reply()>;
        // The reply `build` makes at once when `change` is done already; otherwise the request is
        // held until it is done and `build` runs then, right after the commit that completed it.
        static Reply ReplyWhenDone(const std::shared_ptr<Downloader::PendingChange>& change, const ReplyBuilder& build);
        // ReplyWhenDone, or 400 with the refusal when the change was refused.
        static Reply ReplyToChange(const Downloader::ChangeRequest& request, const ReplyBuilder& build);
        static ReplyBuilder MessageReply(const std::string& message);
        // The address of the client whose command runs now: the downloads it queues take its turns.
        static std::string requester;

        // A listing command's reply: the entries rendered one at a time, and the same text again
        // while nothing that it shows has changed (pages poll the same listing every second). A
        // listing of every entry is streamed instead: it is years of them, and asked for seldom.
        static Reply ReplyWithListing(int64_t maxAge, uint64_t maxNum);
        // The same for the log listings.
        static Reply ReplyWithLogListing(long maxAge, uint64_t maxNum);

        // True when `request` holds `name` with `type`; unlike ValidateField, reports nothing.
        static bool HasOptionalField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                     const Ostrel::JsonBlock& request);

        static Logging::Logger* log;
    };
}
