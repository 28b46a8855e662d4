#include "app/Clock.h"
#include "app/ConsoleManager.h"
#include "app/FileSystem.h"
#include "config/SettingsTable.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "logging/LogHistory.h"
#include "notifications/NotificationCenter.h"
#include "rest/ReplyMemo.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;
using Logging::LogHistory;

namespace
{
    ReplyMemo logListings;

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

    // The configuration document as a client may see it.
    Ostrel::JsonBlock ClientDocument()
    {
        return XGConfig::WithoutSecrets(XGConfig::GetSavefileBuffer());
    }
}

bool RestQueryHandler::FetchSessionLogs(const Ostrel::JsonBlock&, Ostrel::JsonBlock&,
                                        HTTP_STATUS_CODE& responseCode)
{
    ReplyWithLogListing(SecondsSinceBoot() + 1, allEntries, responseCode);
    return true;
}

bool RestQueryHandler::FetchAlltimeLogs(const Ostrel::JsonBlock& request, Ostrel::JsonBlock&,
                                        HTTP_STATUS_CODE& responseCode)
{
    long maxAge = -1;
    uint64_t maxNum = allEntries;
    if (HasOptionalField("max_age", Ostrel::INT, request))
        maxAge = static_cast<long>(request.Get("max_age").GetIntData());
    if (HasOptionalField("max_num", Ostrel::INT, request))
        maxNum = static_cast<uint64_t>(request.Get("max_num").GetIntData());

    ReplyWithLogListing(maxAge, maxNum, responseCode);
    return true;
}

void RestQueryHandler::ReplyWithLogListing(long maxAge, uint64_t maxNum, HTTP_STATUS_CODE& responseCode)
{
    // The listing depends on these alone (an age limit only through the oldest time it lets in,
    // read in whole seconds).
    const std::string oldest = maxAge < 0 ? "any" : std::to_string(Clock::now() - maxAge);
    const std::string key = oldest + " " + std::to_string(maxNum) + " " + std::to_string(LogHistory::Version());
    responseCode = OK;
    ReplyRendered(logListings.For(key, [&] {
        // Message by message: years of them never exist as one tree.
        const std::vector<LogHistory::Listed> listing = LogHistory::SelectListing(maxAge, maxNum);
        Ostrel::JsonBlock reply = RestResponseTemplates::GetByCode(OK, "");
        reply.Set("logs_size") = static_cast<long long>(listing.size());
        reply.Set("logs") = Ostrel::JsonArray();
        std::string rendered;
        reply.RenderTo(rendered, 0, false, "logs", [&listing](std::string& out, unsigned int depth) {
            Ostrel::JsonArray::RenderItemsTo(out, depth, false, listing.size(),
                                              [&listing](size_t i, std::string& item, unsigned int itemDepth) {
                                                  listing[i].RenderTo(item, itemDepth);
                                              });
        });
        return rendered;
    }));
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
    if (!HasOptionalField("config", Ostrel::JSON, request))
    {
        responseBody.Set("message") = "Updated no settings";
        responseBody.Set("config") = ClientDocument();
        return true;
    }

    Ostrel::JsonBlock settings(request.Get("config").GetJsonData());
    Ostrel::JsonArray refused;
    Ostrel::JsonBlock reasons;
    for (const XGConfig::Refusal& refusal : XGConfig::RefuseClientChanges(settings))
    {
        refused.Add(refusal.path);
        reasons.Set(refusal.path) = refusal.reason;
        log->stream << log->Warn() << "Refused to set " << refusal.path
                    << (refusal.shownValue.empty() ? "" : " to " + refusal.shownValue) << ": " << refusal.reason;
        log->Flush();
    }

    const bool consoleShownBefore = XGConfig::general.show_console;
    std::string problem;
    const bool saved = XGConfig::ChangeAndSave(
        [&] {
            XGConfig::LoadFromJson(settings);
            log->stream << "Updated config values...";
            log->Flush();
        },
        problem);
    if (!saved)
        return ReplyNotSaved(problem, responseBody, responseCode);
    ApplyConsoleSetting(consoleShownBefore);

    responseBody.Set("message") = "Updated settings";
    // The other settings did change; the client learns which of its values were not taken, and why.
    if (refused.Size() > 0)
    {
        responseBody.Set("refused_settings") = refused;
        responseBody.Set("refusal_reasons") = reasons;
    }
    responseBody.Set("config") = ClientDocument();
    return true;
}

bool RestQueryHandler::ResetConfigDefaults(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                           HTTP_STATUS_CODE& responseCode)
{
    log->stream << "Reset config values to default...";
    log->Flush();
    const bool consoleShownBefore = XGConfig::general.show_console;
    // Resetting the settings must not open a protected server to everyone: the password stays.
    const std::string passwordHash = XGConfig::access.password_hash;
    std::string problem;
    const bool saved = XGConfig::ChangeAndSave(
        [&] {
            XGConfig::LoadDefaultValues();
            XGConfig::access.password_hash = passwordHash;
        },
        problem);
    if (!saved)
        return ReplyNotSaved(problem, responseBody, responseCode);
    ApplyConsoleSetting(consoleShownBefore);

    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = "Reset config to default...";
    responseBody.Set("config") = ClientDocument();
    return true;
}

bool RestQueryHandler::FetchSettingsInfo(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                         HTTP_STATUS_CODE& responseCode)
{
    StartReply(OK, responseBody, responseCode);
    Ostrel::JsonArray settings;
    for (const Setting& setting : SettingsTable::All())
    {
        if (setting.secret)
            continue;
        Ostrel::JsonBlock info;
        info.Set("path") = setting.path;
        info.Set("type") = SettingsTable::JsonTypeName(setting);
        info.Set("default") = SettingsTable::ToJson(SettingsTable::Shown(setting, setting.defaultValue));
        info.Set("value") = SettingsTable::ToJson(SettingsTable::Shown(setting, SettingsTable::Read(setting)));
        info.Set("applies") = setting.appliesAtRestart ? "after_restart" : "at_once";
        // A path inside the working directory; the library folder may lie anywhere.
        info.Set("is_path") = setting.pathKind == SETTING_PATH::FILE || setting.pathKind == SETTING_PATH::DIRECTORY;
        info.Set("expected") = SettingsTable::Expected(setting);
        if (std::holds_alternative<int32_t>(setting.defaultValue))
        {
            info.Set("min") = static_cast<long long>(setting.min);
            info.Set("max") = static_cast<long long>(setting.max);
        }
        settings.Add(info);
    }
    responseBody.Set("settings") = settings;
    responseBody.Set("password_set") = !XGConfig::access.password_hash.empty();
    responseBody.Set("notification_targets") = Notifications::NotificationCenter::DescribeTargets();
    responseBody.Set("apprise_installed") = Notifications::NotificationCenter::IsAppriseInstalled();
    return true;
}

bool RestQueryHandler::ReplyNotSaved(const std::string& problem, Ostrel::JsonBlock& responseBody,
                                     HTTP_STATUS_CODE& responseCode)
{
    StartReply(INTERNAL_SERVER_ERROR, responseBody, responseCode);
    responseBody.Set("message") = "The settings could not be saved: " + problem + ". Nothing was changed.";
    responseBody.Set("config") = ClientDocument();
    return false;
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

    // The cache in use: a changed downloader.cachedir takes effect only at the next start.
    const std::string cache = Downloader::DownloadManager::Files().CacheDirectory();
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
