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
#include "rest/HttpStatusCode.h"

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
    class ReplyStream;

    // The reply of a command that waits for work off the main thread (a metadata fetch, a
    // program that must end). On the main thread, `isReady` is asked again and again; once it
    // answers true, `finish` fills the reply and its status as a command would.
    struct HeldReply
    {
        std::function<bool()> isReady;
        std::function<bool(Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode)> finish;
    };

    // The JSON command interface behind "/api": checks the request object, runs the
    // command its "request" member names and hands back the reply object and status.
    class RestQueryHandler
    {
    public:
        static void PreInit();   // creates the logger "RestQueryHandler"
        static void PostExit();  // deletes it

        // What a command may hand over instead of its reply object: a reply that waits for
        // work off the main thread, or the reply's text, rendered by the command itself, whole
        // or piece by piece while it is sent.
        struct Outcome
        {
            std::optional<HeldReply> held;
            std::shared_ptr<const std::string> rendered;  // null when the command gave none
            std::shared_ptr<ReplyStream> stream;          // likewise
        };

        // Tags this handler's later log lines with "@" + requesterAddress, then dispatches;
        // always fills responseBody and responseCode. The command's result, false when refused.
        // A command may hand its reply to `outcome` instead (leaving responseBody alone) when
        // the caller gives one; without one, ProcessQuery waits for a held reply and reads a
        // rendered or streamed one into responseBody.
        static bool ProcessQuery(std::string requesterAddress, const Ostrel::JsonData& request,
                                 Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode,
                                 Outcome* outcome = nullptr);

        // True when `request` is an object holding the dotted path `name` with a value of
        // `type` (INT and FLOAT stand in for each other). Otherwise `responseBody` becomes a
        // 400 reply saying what is wrong; the caller sets the status.
        static bool ValidateField(std::string name, Ostrel::JSON_DATA_TYPE type, const Ostrel::JsonData& request,
                                  Ostrel::JsonBlock& responseBody);
        // ValidateField for a request already known to be an object, read in place.
        static bool ValidateField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                  const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody);

    private:
        // A command sets responseCode and fills responseBody on every path.
        using Command = bool (*)(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                 HTTP_STATUS_CODE& responseCode);
        struct CommandEntry
        {
            const char* name;
            Command handler;
        };
        // Every command by its name, in dispatch order.
        static const CommandEntry commands[];

        // System commands (SystemCommands.cpp)
        static bool KillYourself(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                 HTTP_STATUS_CODE& responseCode);
        static bool Example_Foo(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                HTTP_STATUS_CODE& responseCode);
        static bool ShowConsole(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                HTTP_STATUS_CODE& responseCode);
        static bool HideConsole(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                HTTP_STATUS_CODE& responseCode);
        static bool GetOSName(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                              HTTP_STATUS_CODE& responseCode);
        static bool GetServerVersion(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode);
        static bool SetConsoleShown(bool shown, Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode);

        // Download and cache commands (DownloadCommands.cpp)
        // Besides "video_url" and "mode": "quality" (STRING, default "best"), "audio_format"
        // (STRING, default "mp3"), "playlist" (BOOL) and with it "max_items" (INT, default
        // defaultPlaylistItems).
        static bool QueueDownload(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                  HTTP_STATUS_CODE& responseCode);
        static bool QueuePlaylist(const Ostrel::JsonBlock& request, const Downloader::VideoRequest& playlist,
                                  Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode);
        static constexpr int64_t defaultPlaylistItems = 200;
        static constexpr int64_t maxPlaylistItems = 10000;
        static bool FetchSessionCache(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode);
        static bool FetchAlltimeCache(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode);
        static bool ClearDownloadCache(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                       HTTP_STATUS_CODE& responseCode);
        static bool RemoveDownloadEntry(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                        HTTP_STATUS_CODE& responseCode);
        static bool CancelDownload(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                   HTTP_STATUS_CODE& responseCode);
        static bool RetryDownload(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                  HTTP_STATUS_CODE& responseCode);

        // Commands about several downloads (DownloadBulkCommands.cpp): "ids" (ARRAY of STRING),
        // each done as the command about one would do it. Answered once every change is done,
        // with "done" (the ids done) and "not_done" ({"id", "message"}: why one could not be).
        static bool RetryDownloads(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                   HTTP_STATUS_CODE& responseCode);
        static bool RemoveDownloadEntries(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                          HTTP_STATUS_CODE& responseCode);
        // The "ids" of such a command, each once, logged as "<doing> <count> downloads...".
        static bool RequireDownloadIds(const Ostrel::JsonBlock& request, const char* doing,
                                       Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode,
                                       std::vector<std::string>& ids);
        struct BulkChange;
        // The reply once every change is settled; `failureOf` tells, the moment a change
        // completes, why it did not do what it should (empty when it did).
        static bool ReplyWhenAllDone(const std::shared_ptr<std::vector<BulkChange>>& changes,
                                     const std::function<std::string(const std::string& id)>& failureOf,
                                     const std::string& doneWords, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode);
        // Why a retry whose change is done did not queue the download again; empty when it did.
        static std::string RetryFailure(const std::string& id);

        // Subscription commands (SubscriptionCommands.cpp)
        static bool AddSubscription(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                    HTTP_STATUS_CODE& responseCode);
        static bool FetchSubscriptions(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                       HTTP_STATUS_CODE& responseCode);
        static bool UpdateSubscription(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                       HTTP_STATUS_CODE& responseCode);
        static bool RemoveSubscription(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                       HTTP_STATUS_CODE& responseCode);
        static bool CheckSubscription(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode);

        // The reply once `operation` is done: its error (500 when nothing could be saved, else
        // 400), or `message` with the subscription as it is now. A check that failed is answered
        // with its reason, and 200.
        static bool ReplyToOperation(const Subscriptions::Operation& operation, const std::string& message,
                                     Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code);

        // History and log queries (QueryCommands.cpp): a page ("offset", "limit" 1 to 500, default
        // 100) of what matches "search" and the filters, in the order of "sort"; "total" counts
        // every match. History filters: "mode", "status",
        // "subscription_id"; log filters: "scope", "types".
        static bool FetchHistory(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                 HTTP_STATUS_CODE& responseCode);
        static bool FetchLogs(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                              HTTP_STATUS_CODE& responseCode);

        // Downloader program commands (DownloaderProgramCommands.cpp)
        // "cookies" (STRING): a Netscape cookies.txt for every download from now on.
        static bool SetCookies(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                               HTTP_STATUS_CODE& responseCode);
        static bool ClearCookies(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                 HTTP_STATUS_CODE& responseCode);
        // The program in use, its version, whether it is Pelko's own copy, whether cookies are set.
        static bool GetDownloaderInfo(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode);
        // Installs the latest yt-dlp release as Pelko's own copy; held while it runs.
        static bool UpdateYoutubeDL(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                    HTTP_STATUS_CODE& responseCode);

        // Log, settings and disk commands (LogAndConfigCommands.cpp)
        static bool FetchSessionLogs(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode);
        static bool FetchAlltimeLogs(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode);
        static bool ClearLogs(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                              HTTP_STATUS_CODE& responseCode);
        static bool UpdateConfig(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                 HTTP_STATUS_CODE& responseCode);
        static bool ResetConfigDefaults(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                        HTTP_STATUS_CODE& responseCode);
        static bool GetDiskUsage(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                 HTTP_STATUS_CODE& responseCode);
        // Every setting a client may see: type, default, value, when it applies, whether it is
        // a path, and what it may hold; and whether a password is set.
        static bool FetchSettingsInfo(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode);
        // The 500 reply of a settings command whose save failed (`problem` says why).
        static bool ReplyNotSaved(const std::string& problem, Ostrel::JsonBlock& responseBody,
                                  HTTP_STATUS_CODE& responseCode);

        // Notification commands (NotificationCommands.cpp)
        // Sends a test notification to every target; held until each has answered.
        static bool TestNotification(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode);

        // Access commands (AccessCommands.cpp)
        // "password" (STRING): sets the password, or removes it when empty. Every session ends.
        static bool SetPassword(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                HTTP_STATUS_CODE& responseCode);
        // "name" (STRING), "scope" ("full" or "feeds"): a new app token, answered this once as
        // "token"; only with a password set.
        static bool CreateApiToken(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                   HTTP_STATUS_CODE& responseCode);
        // Every app token's name, scope and times of creation and last use; never a token.
        static bool FetchApiTokens(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                   HTTP_STATUS_CODE& responseCode);
        // "name" (STRING): the token no longer admits anyone.
        static bool RevokeApiToken(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                   HTTP_STATUS_CODE& responseCode);

        // A parameter the command cannot do without; on failure the validator's reply stands, with 400.
        static bool RequireField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                 const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                 HTTP_STATUS_CODE& responseCode);
        // The optional "mode" ("video" or "audio") of a request, a text parameter `name` that
        // is one of `choices` ("quality", "audio_format"), and a whole number from `min` to
        // `max`: left as they are when absent; false, with a 400 reply that names the
        // parameter, when wrong.
        static bool TakeMode(const Ostrel::JsonBlock& request, Downloader::DOWNLOAD_MODE& mode,
                             Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode);
        static bool TakeOneOf(const Ostrel::JsonBlock& request, const std::string& name,
                              const std::vector<std::string>& choices, std::string& value,
                              Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode);
        static bool TakeWholeNumber(const Ostrel::JsonBlock& request, const std::string& name, int64_t min,
                                    int64_t max, int64_t& number, Ostrel::JsonBlock& responseBody,
                                    HTTP_STATUS_CODE& responseCode);

        // The count limit of a listing that has none.
        static constexpr uint64_t allEntries = std::numeric_limits<uint64_t>::max();
        // Seconds since the server started: listings of this run reach back that far.
        static int64_t SecondsSinceBoot();

        // Starts a reply: the template of `code`, which also becomes the status.
        static void StartReply(HTTP_STATUS_CODE code, Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode);
        // A 400 reply with `message`; false, the result of a refused command.
        static bool Refuse(const std::string& message, Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode);
        // The required "id" of a command about one download, logged as "<doing> download id <id>...";
        // false, with the validator's 400 reply, when there is none.
        static bool RequireDownloadId(const Ostrel::JsonBlock& request, const char* doing,
                                      Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode,
                                      std::string& id);
        // Fills a reply and its status; a command's result.
        using ReplyBuilder = std::function<bool(Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode)>;
        // The reply `build` makes at once when `change` is done already; otherwise the request is
        // held and `build` runs the moment the change completes.
        static bool ReplyWhenDone(const std::shared_ptr<Downloader::PendingChange>& change,
                                  Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode,
                                  const ReplyBuilder& build);
        // ReplyWhenDone, or 400 with the refusal when the change was refused.
        static bool ReplyToChange(const Downloader::ChangeRequest& request, Ostrel::JsonBlock& responseBody,
                                  HTTP_STATUS_CODE& responseCode, const ReplyBuilder& build);
        static ReplyBuilder MessageReply(const std::string& message);

        // Called by a command instead of replying: the reply comes once `reply` is ready.
        static void Hold(HeldReply reply);
        // Called by a command that rendered its reply itself (the text of a reply object).
        static void ReplyRendered(std::shared_ptr<const std::string> text);
        // Called by a command whose reply is rendered while it is sent.
        static void ReplyStreamed(std::shared_ptr<ReplyStream> stream);
        // What the command that just ran handed over; main thread only.
        static Outcome handedOver;
        // The address of the client whose command runs now: the downloads it queues take its turns.
        static std::string requester;

        // A listing command's reply: the entries rendered one at a time, and the same text again
        // while nothing that it shows has changed (pages poll the same listing every second). A
        // listing of every entry is streamed instead: it is years of them, and asked for seldom.
        static void ReplyWithListing(int64_t maxAge, uint64_t maxNum, HTTP_STATUS_CODE& responseCode);
        // The same for the log listings.
        static void ReplyWithLogListing(long maxAge, uint64_t maxNum, HTTP_STATUS_CODE& responseCode);

        // True when `request` holds `name` with `type`; unlike ValidateField, reports nothing.
        static bool HasOptionalField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                     const Ostrel::JsonBlock& request);

        static Logging::Logger* log;
    };
}
