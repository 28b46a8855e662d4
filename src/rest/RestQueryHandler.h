#pragma once
#include <cstdint>
#include <limits>
#include <string>
#include "json/Json.h"
#include "logging/Logger.h"
#include "rest/HttpStatusCode.h"

namespace Rest
{
    // The JSON command interface behind "/api": checks the request object, runs the
    // command its "request" member names and hands back the reply object and status.
    class RestQueryHandler
    {
    public:
        static void PreInit();   // creates the logger "RestQueryHandler"
        static void PostExit();  // deletes it

        // Tags this handler's later log lines with "@" + requesterAddress, then dispatches;
        // always fills responseBody and responseCode. The command's result, false when refused.
        static bool ProcessQuery(std::string requesterAddress, const Ostrel::JsonData& request,
                                 Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode);

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
        static bool UpdateYoutubeDL(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                    HTTP_STATUS_CODE& responseCode);
        static bool GetServerVersion(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode);
        static bool SetConsoleShown(bool shown, Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode);

        // Download and cache commands (DownloadCommands.cpp)
        static bool QueueDownload(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                  HTTP_STATUS_CODE& responseCode);
        static bool FetchSessionCache(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode);
        static bool FetchAlltimeCache(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode);
        static bool ClearDownloadCache(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                       HTTP_STATUS_CODE& responseCode);
        static bool RemoveDownloadEntry(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
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

        // The count limit of a listing that has none.
        static constexpr uint64_t allEntries = std::numeric_limits<uint64_t>::max();
        // Seconds since the server started: listings of this run reach back that far.
        static int64_t SecondsSinceBoot();

        // Starts a reply: the template of `code`, which also becomes the status.
        static void StartReply(HTTP_STATUS_CODE code, Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode);
        // True when `request` holds `name` with `type`; unlike ValidateField, reports nothing.
        static bool HasOptionalField(const std::string& name, Ostrel::JSON_DATA_TYPE type,
                                     const Ostrel::JsonBlock& request);

        static Logging::Logger* log;
    };
}
