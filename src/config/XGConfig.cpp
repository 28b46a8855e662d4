#include "config/XGConfig.h"
#include <cerrno>
#include <cstring>
#include "app/FileLayout.h"
#include "app/FileSystem.h"
#include "config/PathRules.h"
#include "config/SettingsTable.h"
#include "json/Json.h"
#include "logging/Logger.h"

using namespace Ostrel;

XGConfig::HttpServer XGConfig::httpServer;
XGConfig::Logging XGConfig::logging;
XGConfig::Downloader XGConfig::downloader;
XGConfig::Subscriptions XGConfig::subscriptions;
XGConfig::Library XGConfig::library;
XGConfig::General XGConfig::general;
XGConfig::Access XGConfig::access;
XGConfig::Notifications XGConfig::notifications;
JsonBlock XGConfig::savefileBuffer;
JsonBlock XGConfig::valuesAtStart;
::Logging::Logger* XGConfig::log = nullptr;

namespace
{
    const std::string configFile = FileLayout::settingsFile;
    const std::string backupFile = FileLayout::settingsBackup;

    // The server's files that no setting names, all in the working directory.
    const std::vector<PathRules::OwnPlace> fixedPlaces = {
        {"the settings file", configFile},
        {"the settings backup", backupFile},
        {"the cookies file", FileLayout::cookiesFile},
        {"the downloader programs directory", FileLayout::programsFolder},
        {"the subscriptions file", FileLayout::subscriptionsFile},
        {"the subscriptions' archives", FileLayout::subscriptionArchives},
        {"the undelivered notifications", FileLayout::notificationsFile},
        {"the app tokens file", FileLayout::tokensFile},
    };

    // Every file and folder of the server's own apart from what `checked` names: the fixed ones,
    // the other path settings as they would be after the change, and as they were at start
    // for those that only change with a restart.
    std::vector<PathRules::OwnPlace> OwnPlacesBesides(const Setting& checked, const JsonBlock& changes,
                                                      const JsonBlock& valuesAtStart)
    {
        std::vector<PathRules::OwnPlace> places = fixedPlaces;
        for (const Setting& setting : SettingsTable::All())
        {
            if (setting.pathKind == SETTING_PATH::NONE || &setting == &checked)
                continue;
            // An empty path is a place that is not used (no library).
            const auto add = [&places, &setting](const std::string& path) {
                if (!path.empty())
                    places.push_back({setting.placeName, path});
            };
            add(std::get<std::string>(SettingsTable::Read(setting)));
            if (XGConfig::IsJsonFieldValid(changes, setting.path, STRING))
                add(changes.ShorthandGet(setting.path, '.').GetStringData());
            if (setting.appliesAtRestart && XGConfig::IsJsonFieldValid(valuesAtStart, setting.path, STRING))
                add(valuesAtStart.ShorthandGet(setting.path, '.').GetStringData());
        }
        return places;
    }
}

namespace
{
    // Empty when a path setting may lead where `value` does, and for settings that are no paths.
    std::string PlaceRefusal(const Setting& setting, const SettingValue& value, const JsonBlock& changes,
                             const JsonBlock& valuesAtStart)
    {
        if (setting.pathKind == SETTING_PATH::NONE || !std::holds_alternative<std::string>(value))
            return "";
        const std::string& path = std::get<std::string>(value);
        const std::vector<PathRules::OwnPlace> places = OwnPlacesBesides(setting, changes, valuesAtStart);
        switch (setting.pathKind)
        {
        case SETTING_PATH::USER_DIRECTORY:
            return PathRules::UserDirectoryRefusal(path, places);
        case SETTING_PATH::USER_FILE:
            return PathRules::UserFileRefusal(path, places);
        default:
            return PathRules::Refusal(path, places);
        }
    }
}

void XGConfig::LoadDefaultValues()
{
    for (const Setting& setting : SettingsTable::All())
        SettingsTable::Write(setting, setting.defaultValue);
    savefileBuffer.Clear();
    savefileBuffer.CloneFrom(CreateJson());
}

bool XGConfig::IsJsonFieldValid(const JsonBlock& json, std::string path, JSON_DATA_TYPE type)
{
    return json.DoesShorthandExist(path, '.') && json.ShorthandGet(path, '.').GetDataType() == type;
}

void XGConfig::LoadFromJson(const JsonBlock& json)
{
    // The caller may hand in the buffer itself; clearing it first would lose the input.
    const JsonBlock document(json);
    savefileBuffer.Clear();
    savefileBuffer.CloneFrom(document);

    for (const Setting& setting : SettingsTable::All())
    {
        SettingValue value;
        if (document.DoesShorthandExist(setting.path, '.') &&
            SettingsTable::FromJson(setting, document.ShorthandGet(setting.path, '.'), value))
            SettingsTable::Write(setting, value);
    }
}

JsonBlock XGConfig::CreateJson()
{
    JsonBlock document;
    for (const Setting& setting : SettingsTable::All())
        document.ShorthandSet(setting.path, '.') = SettingsTable::ToJson(SettingsTable::Read(setting));
    return document;
}

JsonBlock& XGConfig::GetSavefileBuffer()
{
    return savefileBuffer;
}

JsonBlock XGConfig::WithoutSecrets(JsonBlock document)
{
    for (const Setting& setting : SettingsTable::All())
    {
        if (!document.DoesShorthandExist(setting.path, '.'))
            continue;
        SettingValue value;
        if (setting.secret)
            document.ShorthandRemove(setting.path, '.');
        else if (setting.writeOnly && SettingsTable::FromJson(setting, document.ShorthandGet(setting.path, '.'), value))
            document.ShorthandSet(setting.path, '.') = SettingsTable::ToJson(SettingsTable::Shown(setting, value));
        else if (setting.writeOnly)
            document.ShorthandRemove(setting.path, '.');
    }
    return document;
}

std::vector<XGConfig::Refusal> XGConfig::RefuseClientChanges(JsonBlock& changes)
{
    std::vector<Refusal> refusals;
    const JsonBlock proposed(changes);
    for (const Setting& setting : SettingsTable::All())
    {
        if (!proposed.DoesShorthandExist(setting.path, '.'))
            continue;
        SettingValue value;
        const bool typed = SettingsTable::FromJson(setting, proposed.ShorthandGet(setting.path, '.'), value);
        const bool unmasked = !typed || SettingsTable::KeepStoredSecrets(setting, value, SettingsTable::Read(setting));
        if (typed && unmasked && setting.writeOnly)
            changes.ShorthandSet(setting.path, '.') = SettingsTable::ToJson(value);
        std::string reason;
        if (setting.secret)
            reason = "This setting is only changed by its own command.";
        else if (!unmasked)
            reason = std::string("\"") + SettingsTable::maskedText +
                     "\" stands where no secret is stored: send the secret itself.";
        // A value that stays as it is changes nothing, whoever wrote it into config.json.
        else if (typed && value == SettingsTable::Read(setting))
            continue;
        else if (!typed)
            reason = "Expected " + SettingsTable::Expected(setting) + ".";
        // Where a path leads first: the rule of a file's content reads a file that is there.
        else if ((reason = PlaceRefusal(setting, value, proposed, valuesAtStart)).empty() &&
                 !SettingsTable::IsAcceptable(setting, value))
            reason = "Expected " + SettingsTable::Expected(setting) + ".";
        if (reason.empty())
            continue;
        changes.ShorthandRemove(setting.path, '.');
        refusals.push_back({setting.path, reason,
                            setting.secret || setting.writeOnly ? ""
                                                                : proposed.ShorthandGet(setting.path, '.').Render(true)});
    }
    return refusals;
}

void XGConfig::PreInit()
{
    log = new ::Logging::Logger("Config");
    LoadDefaultValues();

    if (FileSystem::Exists(configFile))
    {
        Load();
        log->stream << "Loaded config file";
        log->Flush();
    }
    else
    {
        Save();
        log->stream << log->Warn() << "Config file not found. Created default one.";
        log->Flush();
    }
    valuesAtStart = CreateJson();
}

void XGConfig::Load()
{
    const std::string text = FileSystem::ReadFile(configFile);
    if (!IsJsonValid(text))
    {
        log->stream << log->Warn() << "Unable to parse config file to \"" << configFile
                    << "\" because it's json syntax is most likely fucked up!";
        log->Flush();
        return;
    }

    JsonData document;
    document.Parse(text);
    if (document.GetDataType() == JSON)
        LoadFromJson(document.GetJsonData());
    else
    {
        log->stream << log->Warn() << "Unable to load config file because its content is not of json-type json!";
        log->Flush();
    }
}

namespace
{
    // The settings hold the password's hash: for the server's user alone.
    constexpr mode_t privateFileMode = 0600;
}

bool XGConfig::SaveToFile(std::string path)
{
    const JsonData document(CreateJson());
    savefileBuffer.Clear();
    savefileBuffer.CloneFrom(document.GetJsonData());
    return FileSystem::WriteFile(path, document.Render(false), privateFileMode);
}

bool XGConfig::Save(std::string* problem)
{
    log->stream << "Saving config...";
    log->Flush();

    auto fail = [&](const std::string& file) {
        const std::string reason = "\"" + file + "\" could not be written (" + std::strerror(errno) + ")";
        log->stream << log->Err() << reason;
        log->Flush();
        log->stream << log->Err() << "Unable to save config file \"" << configFile << "\"";
        log->Flush();
        if (problem != nullptr)
            *problem = reason;
        return false;
    };

    // Written whole or not at all, so a full disk leaves no empty backup. Line breaks do not
    // matter: they are whitespace between JSON tokens.
    const bool hadFile = FileSystem::Exists(configFile);
    if (hadFile && !FileSystem::WriteFile(backupFile, FileSystem::ReadFile(configFile), privateFileMode))
        return fail(backupFile);
    if (!SaveToFile(configFile))
    {
        const int reason = errno;
        // config.json was replaced atomically or not at all: the backup guards nothing now.
        FileSystem::Delete(backupFile);
        errno = reason;
        return fail(configFile);
    }

    if (IsJsonValid(FileSystem::ReadFile(configFile)))
    {
        FileSystem::Delete(backupFile);
        return true;
    }

    if (hadFile)
        FileSystem::WriteFile(configFile, FileSystem::ReadFile(backupFile), privateFileMode);
    if (hadFile && !FileSystem::Delete(backupFile))
        log->stream << log->Err() << "Unable to delete backup of config file! (backup is \"" << backupFile << "\")";
    else
        log->stream << log->Warn() << "Unable to save config file to \"" << configFile << "\"!";
    log->Flush();
    if (problem != nullptr)
        *problem = "\"" + configFile + "\" did not read back as valid JSON";
    return false;
}

bool XGConfig::ChangeAndSave(const std::function<void()>& change, std::string& problem)
{
    const JsonBlock settingsBefore = CreateJson();
    const JsonBlock bufferBefore = savefileBuffer;
    change();
    if (Save(&problem))
        return true;
    LoadFromJson(settingsBefore);
    savefileBuffer = bufferBefore;
    return false;
}

void XGConfig::PostExit()
{
    Save();
    delete log;
    log = nullptr;
}

std::vector<std::string> XGConfig::SecretFiles()
{
    std::vector<std::string> files = {configFile, backupFile, FileLayout::cookiesFile, FileLayout::tokensFile};
    if (!httpServer.tls_key.empty())
        files.push_back(httpServer.tls_key);
    return files;
}
