#include "config/XGConfig.h"
#include "app/FileSystem.h"
#include "json/Json.h"
#include "logging/Logger.h"

using namespace Ostrel;

XGConfig::HttpServer XGConfig::httpServer;
XGConfig::Logging XGConfig::logging;
XGConfig::Downloader XGConfig::downloader;
XGConfig::General XGConfig::general;
XGConfig::Access XGConfig::access;
JsonBlock XGConfig::savefileBuffer;
::Logging::Logger* XGConfig::log = nullptr;

namespace
{
    const std::string configFile = "config.json";
    const std::string backupFile = configFile + "___";
}

void XGConfig::LoadDefaultValues()
{
    httpServer.port = "6969";
    httpServer.rootdir = "frontend";
    httpServer.polling_rate = 100;

    logging.logfile_text = "log.txt";
    logging.logfile_json = "log.json";
    logging.autosave_interval = 1800;

    downloader.cachedir = "dlcache";
    downloader.max_dlrate_per_thread = "100M";
    downloader.num_threads = 1;

    general.show_console = true;

    access.only_allow_localhost = false;
    access.enable_whitelist = false;
    access.whitelist = {"127.0.0.1"};

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

    auto takeString = [&](const char* path, std::string& field) {
        if (IsJsonFieldValid(document, path, STRING))
            field = document.ShorthandGet(path, '.').GetStringData();
    };
    auto takeInt = [&](const char* path, int32_t& field) {
        if (IsJsonFieldValid(document, path, INT))
            field = static_cast<int32_t>(document.ShorthandGet(path, '.').GetIntData());
    };
    auto takeBool = [&](const char* path, bool& field) {
        if (IsJsonFieldValid(document, path, BOOL))
            field = document.ShorthandGet(path, '.').GetBoolData();
    };

    takeString("logging.logfile_json", logging.logfile_json);
    takeString("logging.logfile_text", logging.logfile_text);
    takeInt("logging.autosave_interval", logging.autosave_interval);
    takeString("httpServer.port", httpServer.port);
    takeInt("httpServer.polling_rate", httpServer.polling_rate);
    takeString("httpServer.rootdir", httpServer.rootdir);
    takeString("downloader.cachedir", downloader.cachedir);
    takeInt("downloader.num_threads", downloader.num_threads);
    takeString("downloader.max_dlrate_per_thread", downloader.max_dlrate_per_thread);
    takeBool("general.show_console", general.show_console);
    takeBool("access.only_allow_localhost", access.only_allow_localhost);
    takeBool("access.enable_whitelist", access.enable_whitelist);

    if (IsJsonFieldValid(document, "access.whitelist", ARRAY))
    {
        access.whitelist.clear();
        const JsonArray& entries = document.ShorthandGet("access.whitelist", '.').GetArrayData();
        for (std::size_t i = 0; i < entries.Size(); i++)
            if (entries.At(i).GetDataType() == STRING)
                access.whitelist.push_back(entries.At(i).GetStringData());
    }
}

JsonBlock XGConfig::CreateJson()
{
    JsonBlock http;
    http.Add(JsonElement("port", httpServer.port));
    http.Add(JsonElement("polling_rate", httpServer.polling_rate));
    http.Add(JsonElement("rootdir", httpServer.rootdir));

    JsonBlock logs;
    logs.Add(JsonElement("logfile_text", logging.logfile_text));
    logs.Add(JsonElement("logfile_json", logging.logfile_json));
    logs.Add(JsonElement("autosave_interval", logging.autosave_interval));

    JsonBlock downloads;
    downloads.Add(JsonElement("cachedir", downloader.cachedir));
    downloads.Add(JsonElement("max_dlrate_per_thread", downloader.max_dlrate_per_thread));
    downloads.Add(JsonElement("num_threads", downloader.num_threads));

    JsonBlock generalGroup;
    generalGroup.Add(JsonElement("show_console", general.show_console));

    JsonArray whitelist;
    for (const std::string& address : access.whitelist)
        whitelist.Add(address);
    JsonBlock accessGroup;
    accessGroup.Add(JsonElement("only_allow_localhost", access.only_allow_localhost));
    accessGroup.Add(JsonElement("enable_whitelist", access.enable_whitelist));
    accessGroup.Add(JsonElement("whitelist", whitelist));

    JsonBlock document;
    document.Add(JsonElement("httpServer", http));
    document.Add(JsonElement("logging", logs));
    document.Add(JsonElement("downloader", downloads));
    document.Add(JsonElement("general", generalGroup));
    document.Add(JsonElement("access", accessGroup));
    return document;
}

JsonBlock& XGConfig::GetSavefileBuffer()
{
    return savefileBuffer;
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

bool XGConfig::SaveToFile(std::string path)
{
    const JsonData document(CreateJson());
    savefileBuffer.Clear();
    savefileBuffer.CloneFrom(document.GetJsonData());
    return FileSystem::WriteFile(path, document.Render(false));
}

void XGConfig::Save()
{
    log->stream << "Saving config...";
    log->Flush();

    FileSystem::Copy(configFile, backupFile);
    if (!SaveToFile(configFile))
    {
        log->stream << log->Err() << "Unable to save config file \"" << configFile << "\"";
        log->Flush();
        return;
    }

    if (IsJsonValid(FileSystem::ReadFile(configFile)))
    {
        FileSystem::Delete(backupFile);
        return;
    }

    FileSystem::Copy(backupFile, configFile);
    if (!FileSystem::Delete(backupFile))
        log->stream << log->Err() << "Unable to delete backup of config file! (backup is \"" << backupFile << "\")";
    else
        log->stream << log->Warn() << "Unable to save config file to \"" << configFile << "\"!";
    log->Flush();
}

void XGConfig::PostExit()
{
    Save();
    delete log;
    log = nullptr;
}
