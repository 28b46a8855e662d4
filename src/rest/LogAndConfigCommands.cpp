#include <algorithm>
#include "app/ConsoleManager.h"
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "json/StringHelpers.h"
#include "logging/LogHistory.h"
#include "rest/RestQueryHandler.h"

using namespace Rest;
using Logging::LogHistory;

namespace
{
    void ReplyWithLogs(Ostrel::JsonArray logs, Ostrel::JsonBlock& responseBody)
    {
        responseBody.Set("logs_size") = static_cast<long long>(logs.Size());
        responseBody.Set("logs") = std::move(logs);
    }

    // Console visibility follows the setting wherever the platform can show one.
    void ApplyConsoleSetting(bool shownBefore)
    {
        if (XGConfig::general.show_console == shownBefore)
            return;
        if (XGConfig::general.show_console)
            ConsoleManager::ShowConsole();
        else
            ConsoleManager::HideConsole();
    }

    // Settings that name files or directories the server writes, serves or deletes.
    const char* const pathSettings[] = {"httpServer.rootdir", "logging.logfile_text", "logging.logfile_json",
                                        "downloader.cachedir"};

    // A client may only point the server at places inside its working directory: a
    // relative path of plain names. Otherwise "/" as the cache would be wiped by the next
    // cache clear, and a log file could be appended to any file of the machine.
    bool StaysInWorkingDirectory(const std::string& path)
    {
        if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos)
            return false;
        const std::vector<std::string> segments = Ostrel::Internal::StringHelpers::SplitString(path, '/');
        return std::none_of(segments.begin(), segments.end(), [](const std::string& segment) {
            return segment.empty() || segment == "." || segment == "..";
        });
    }
}

bool RestQueryHandler::FetchSessionLogs(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                        HTTP_STATUS_CODE& responseCode)
{
    StartReply(OK, responseBody, responseCode);
    ReplyWithLogs(LogHistory::GetCompleteLogHistoryAsJson(SecondsSinceBoot() + 1, allEntries), responseBody);
    return true;
}

bool RestQueryHandler::FetchAlltimeLogs(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                        HTTP_STATUS_CODE& responseCode)
{
    long maxAge = -1;
    uint64_t maxNum = allEntries;
    if (HasOptionalField("max_age", Ostrel::INT, request))
        maxAge = static_cast<long>(request.Get("max_age").GetIntData());
    if (HasOptionalField("max_num", Ostrel::INT, request))
        maxNum = static_cast<uint64_t>(request.Get("max_num").GetIntData());

    StartReply(OK, responseBody, responseCode);
    ReplyWithLogs(LogHistory::GetCompleteLogHistoryAsJson(maxAge, maxNum), responseBody);
    return true;
}

bool RestQueryHandler::ClearLogs(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                 HTTP_STATUS_CODE& responseCode)
{
    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = "The logs have been cleared.";
    LogHistory::ClearLogHistory();
    log->stream << "Cleared logs...";
    log->Flush();
    return true;
}

bool RestQueryHandler::UpdateConfig(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                    HTTP_STATUS_CODE& responseCode)
{
    StartReply(OK, responseBody, responseCode);
    if (HasOptionalField("config", Ostrel::JSON, request))
    {
        Ostrel::JsonBlock settings(request.Get("config").GetJsonData());
        Ostrel::JsonArray refused;
        for (const char* path : pathSettings)
        {
            if (!XGConfig::IsJsonFieldValid(settings, path, Ostrel::STRING))
                continue;
            const std::string value = settings.ShorthandGet(path, '.').GetStringData();
            if (StaysInWorkingDirectory(value))
                continue;
            settings.ShorthandRemove(path, '.');
            refused.Add(path);
            log->stream << log->Warn() << "Refused to set " << path << " to \"" << value
                        << "\": a path must stay inside the server's working directory.";
            log->Flush();
        }

        const bool consoleShownBefore = XGConfig::general.show_console;
        XGConfig::LoadFromJson(settings);
        ApplyConsoleSetting(consoleShownBefore);
        log->stream << "Updated config values...";
        log->Flush();
        XGConfig::Save();
        responseBody.Set("message") = "Updated settings";
        // The other settings did change; the client learns which of its values were not taken.
        if (refused.Size() > 0)
            responseBody.Set("refused_settings") = refused;
    }
    else
        responseBody.Set("message") = "Updated no settings";

    responseBody.Set("config") = XGConfig::GetSavefileBuffer();
    return true;
}

bool RestQueryHandler::ResetConfigDefaults(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                           HTTP_STATUS_CODE& responseCode)
{
    log->stream << "Reset config values to default...";
    log->Flush();
    const bool consoleShownBefore = XGConfig::general.show_console;
    XGConfig::LoadDefaultValues();
    XGConfig::Save();
    ApplyConsoleSetting(consoleShownBefore);

    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = "Reset config to default...";
    responseBody.Set("config") = XGConfig::GetSavefileBuffer();
    return true;
}

bool RestQueryHandler::GetDiskUsage(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                    HTTP_STATUS_CODE& responseCode)
{
    log->stream << "Fetching disk usage...";
    log->Flush();
    StartReply(OK, responseBody, responseCode);

    auto fileSizes = [](std::initializer_list<std::string> names) {
        int64_t sum = 0;
        for (const std::string& name : names)
            if (FileSystem::Exists(name))
                sum += FileSystem::CalculateSize(name, false);
        return sum;
    };

    const std::string& cache = XGConfig::downloader.cachedir;
    const int64_t dlcache = FileSystem::ExistsDirectory(cache) ? FileSystem::CalculateSize(cache, true) : 0;
    const int64_t logs = fileSizes({XGConfig::logging.logfile_text, XGConfig::logging.logfile_json});
    const int64_t misc = fileSizes({"config.json"});
    const int64_t dependencies = fileSizes({"ffmpeg.exe", "ffprobe.exe", "ffplay.exe", "youtube-dl.exe"});

    Ostrel::JsonBlock usage;
    usage.Set("dlcache") = static_cast<long long>(dlcache);
    usage.Set("logs") = static_cast<long long>(logs);
    usage.Set("misc") = static_cast<long long>(misc);
    usage.Set("dependencies") = static_cast<long long>(dependencies);
    usage.Set("total") = static_cast<long long>(dlcache + logs + misc + dependencies);
    responseBody.Set("disk_usage") = usage;
    responseBody.Set("message") =
        "Disk usage in bytes. Dependencies are 0 on linux, because the dependencies should be installed globally.";
    return true;
}
