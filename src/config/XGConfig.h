#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace Logging
{
    class Logger;
}
namespace Ostrel
{
    enum JSON_DATA_TYPE : int32_t;
    class JsonBlock;
}

// Every setting of the server, in five process-wide groups that the subsystems read
// directly when they need a value, and their JSON form, which is also the layout of
// config.json. Written on the main thread only; download workers get a copy of what
// they need when they start.
class XGConfig
{
public:
    struct HttpServer
    {
        std::string port;          // "6969", or "address:port"
        std::string rootdir;       // directory of the web front end
        int32_t polling_rate = 0;  // milliseconds one HTTP poll may wait
    };
    struct Logging
    {
        std::string logfile_text;
        std::string logfile_json;
        int32_t autosave_interval = 0;  // seconds between log saves
    };
    struct Downloader
    {
        std::string cachedir;
        std::string max_dlrate_per_thread;  // handed to the downloader's rate limit option
        int32_t num_threads = 0;            // downloads that may run at the same time
    };
    struct General
    {
        bool show_console = false;
    };
    struct Access
    {
        bool only_allow_localhost = false;
        bool enable_whitelist = false;
        std::vector<std::string> whitelist;
    };

    static HttpServer httpServer;
    static Logging logging;
    static Downloader downloader;
    static General general;
    static Access access;

    // Sets every setting to its default and the buffer to the matching document.
    static void LoadDefaultValues();
    // True when `path` exists in `json` and holds exactly `type`.
    static bool IsJsonFieldValid(const Ostrel::JsonBlock& json, std::string path, Ostrel::JSON_DATA_TYPE type);
    // Keeps `json` as the buffer and takes each setting found at its path with its exact type.
    static void LoadFromJson(const Ostrel::JsonBlock& json);
    // The JSON form of the current settings.
    static Ostrel::JsonBlock CreateJson();
    // The configuration document the REST commands hand back to clients.
    static Ostrel::JsonBlock& GetSavefileBuffer();

    // Start-up: defaults, then config.json (written with the defaults when missing).
    static void PreInit();
    static void Load();
    // Writes config.json behind a backup copy and checks that it reads back.
    static void Save();
    static bool SaveToFile(std::string path);
    // Shut-down: a last save, then the logger goes.
    static void PostExit();

private:
    static Ostrel::JsonBlock savefileBuffer;
    static ::Logging::Logger* log;
};
