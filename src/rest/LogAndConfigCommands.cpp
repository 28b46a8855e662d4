#include "app/Clock.h"
#include "app/ConsoleManager.h"
#include "app/FileLayout.h"
#include "app/FileSystem.h"
#include "config/SettingsTable.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "logging/LogHistory.h"
#include "notifications/NotificationCenter.h"
#include "rest/ReplyMemo.h"
#include "rest/ReplyStream.h"
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

Reply RestQueryHandler::FetchSessionLogs(const Ostrel::JsonBlock&)
{
    return ReplyWithLogListing(SecondsSinceBoot() + 1, allEntries);
}

Reply RestQueryHandler::FetchAlltimeLogs(const Ostrel::JsonBlock& request)
{
    long maxAge = -1;
    uint64_t maxNum = allEntries;
    if (HasOptionalField("max_age", Ostrel::INT, request))
        maxAge = static_cast<long>(request.Get("max_age").GetIntData());
    if (HasOptionalField("max_num", Ostrel::INT, request))
        maxNum = static_cast<uint64_t>(request.Get("max_num").GetIntData());

    return ReplyWithLogListing(maxAge, maxNum);
}

Reply RestQueryHandler::ReplyWithLogListing(long maxAge, uint64_t maxNum)
{
    // Message by message: years of them never exist as one tree.
    const auto streamed = [](std::vector<LogHistory::Listed> selected) {
        const auto listing = std::make_shared<const std::vector<LogHistory::Listed>>(std::move(selected));
        Ostrel::JsonBlock reply = RestResponseTemplates::GetByCode(OK, "");
        reply.Set("logs_size") = static_cast<long long>(listing->size());
        reply.Set("logs") = Ostrel::JsonArray();
        return ReplyStream::WithItems(reply, "logs", listing->size(),
                                      [listing](size_t i, std::string& item, unsigned int itemDepth) {
                                          (*listing)[i].RenderTo(item, itemDepth);
                                      });
    };
    // Every message of years: rendered while it is sent, never kept as a whole (the messages it
    // shows stay alive until then, whatever a save or a clear does meanwhile).
    if (maxAge < 0)
        return Reply::Streamed(streamed(LogHistory::SelectListing(maxAge, maxNum)));
    // The listing depends on these alone (an age limit only through the oldest time it lets in,
    // read in whole seconds).
    const std::string key = std::to_string(Clock::now() - maxAge) + " " + std::to_string(maxNum) + " " +
                            std::to_string(LogHistory::Version());
    return Reply::Rendered(
        logListings.For(key, [&] { return streamed(LogHistory::SelectListing(maxAge, maxNum))->ReadAll(); }));
}

Reply RestQueryHandler::ClearLogs(const Ostrel::JsonBlock&)
{
    LogHistory::ClearLogHistory();
    log->stream << "Cleared logs...";
    log->Flush();
    return Reply::WithMessage(OK, "The logs have been cleared.");
}

Reply RestQueryHandler::UpdateConfig(const Ostrel::JsonBlock& request)
{
    if (!HasOptionalField("config", Ostrel::JSON, request))
    {
        Reply reply = Reply::WithMessage(OK, "Updated no settings");
        reply.Set("config") = ClientDocument();
        return reply;
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
        return ReplyNotSaved(problem);
    ApplyConsoleSetting(consoleShownBefore);

    Reply reply = Reply::WithMessage(OK, "Updated settings");
    // The other settings did change; the client learns which of its values were not taken, and why.
    if (refused.Size() > 0)
    {
        reply.Set("refused_settings") = refused;
        reply.Set("refusal_reasons") = reasons;
    }
    reply.Set("config") = ClientDocument();
    return reply;
}

Reply RestQueryHandler::ResetConfigDefaults(const Ostrel::JsonBlock&)
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
        return ReplyNotSaved(problem);
    ApplyConsoleSetting(consoleShownBefore);

    Reply reply = Reply::WithMessage(OK, "Reset config to default...");
    reply.Set("config") = ClientDocument();
    return reply;
}

Reply RestQueryHandler::FetchSettingsInfo(const Ostrel::JsonBlock&)
{
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
    Reply reply = Reply::Of(OK);
    reply.Set("settings") = settings;
    reply.Set("password_set") = !XGConfig::access.password_hash.empty();
    reply.Set("notification_targets") = Notifications::NotificationCenter::DescribeTargets();
    reply.Set("apprise_installed") = Notifications::NotificationCenter::IsAppriseInstalled();
    return reply;
}

Reply RestQueryHandler::ReplyNotSaved(const std::string& problem)
{
    Reply reply =
        Reply::WithMessage(INTERNAL_SERVER_ERROR, "The settings could not be saved: " + problem + ". Nothing was changed.");
    reply.Set("config") = ClientDocument();
    return reply;
}

Reply RestQueryHandler::GetDiskUsage(const Ostrel::JsonBlock&)
{
    log->stream << "Fetching disk usage...";
    log->Flush();

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
    const int64_t misc = fileSizes({FileLayout::settingsFile});
    const int64_t dependencies = fileSizes({"ffmpeg.exe", "ffprobe.exe", "ffplay.exe", "youtube-dl.exe"});

    Ostrel::JsonBlock usage;
    usage.Set("dlcache") = static_cast<long long>(dlcache);
    usage.Set("logs") = static_cast<long long>(logs);
    usage.Set("misc") = static_cast<long long>(misc);
    usage.Set("dependencies") = static_cast<long long>(dependencies);
    usage.Set("total") = static_cast<long long>(dlcache + logs + misc + dependencies);
    Reply reply = Reply::Of(OK);
    reply.Set("disk_usage") = usage;
    reply.Set("message") =
        "Disk usage in bytes. Dependencies are 0 on linux, because the dependencies should be installed globally.";
    return reply;
}
