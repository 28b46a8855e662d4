#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include "config/Webhook.h"

namespace Logging
{
    class Logger;
}
namespace Ostrel
{
    enum JSON_DATA_TYPE : int32_t;
    class JsonBlock;
}

// Every setting of the server, in process-wide groups that the subsystems read
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
        // PEM files; with both set the server speaks only HTTPS. The key is never served.
        std::string tls_certificate;
        std::string tls_key;
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
        std::string update_url;             // the release folder that updates of the downloader come from
        std::string js_runtime_url;         // the release folder that updates of its JavaScript runtime come from
        std::string sponsorblock;            // "off", "mark" or "remove"
        std::string sponsorblock_categories;  // the segments that are marked or removed
        std::string sponsorblock_api;         // the SponsorBlock server the downloader asks
    };
    struct Subscriptions
    {
        int32_t listing_size = 0;  // the newest entries a check lists
        std::string feed_url;      // the Atom feed of a YouTube channel or playlist, before ?channel_id=...
    };
    struct Library
    {
        std::string dir;                // the folder finished files are placed in; empty: none
        std::string filename_template;  // library.template: each file's name inside it
        std::string subtitles;          // languages of the subtitles fetched for videos; empty: none
        bool nfo = true;                // library.nfo: media servers' .nfo files and pictures beside the files
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
        std::vector<std::string> allowed_hosts;  // names the server answers to besides addresses and localhost
        std::string password_hash;               // empty: no password; never handed to a client
    };

    struct Notifications
    {
        std::vector<Webhook> webhooks;
        std::vector<std::string> apprise_urls;    // carry the services' tokens: never handed to a client
        std::vector<std::string> apprise_events;  // what the Apprise addresses are told of
    };

    static HttpServer httpServer;
    static Logging logging;
    static Downloader downloader;
    static Subscriptions subscriptions;
    static Library library;
    static General general;
    static Access access;
    static Notifications notifications;

    // A setting a client sent that was not taken, and why.
    struct Refusal
    {
        std::string path;
        std::string reason;  // a sentence
        std::string shownValue;  // the value as the log may show it; empty for secrets
    };

    // Sets every setting to its default and the buffer to the matching document.
    static void LoadDefaultValues();
    // True when `path` exists in `json` and holds exactly `type`.
    static bool IsJsonFieldValid(const Ostrel::JsonBlock& json, std::string path, Ostrel::JSON_DATA_TYPE type);
    // Keeps `json` as the buffer and takes each setting found at its path with its exact type
    // (integers only within 32 bits); anything else leaves the setting as it was.
    static void LoadFromJson(const Ostrel::JsonBlock& json);
    // The JSON form of the current settings, secrets included: what config.json holds.
    static Ostrel::JsonBlock CreateJson();
    // The configuration document the REST commands hand back to clients.
    static Ostrel::JsonBlock& GetSavefileBuffer();
    // `document` without the settings no client may see, write-only secrets masked.
    static Ostrel::JsonBlock WithoutSecrets(Ostrel::JsonBlock document);

    // Checks the settings a client sent before they are loaded: a value of the wrong type or
    // outside its range, a secret, or a changed path that leads outside the working directory
    // or onto one of the server's own files (the library folder: that is no writable
    // directory, or touches the server's files) is removed from `changes` and returned. Masks
    // sent back for write-only secrets are replaced in `changes` by the stored secrets.
    static std::vector<Refusal> RefuseClientChanges(Ostrel::JsonBlock& changes);

    // Start-up: defaults, then config.json (written with the defaults when missing).
    static void PreInit();
    static void Load();
    // The server's files that hold secrets (the password hash, the cookies, the tokens' sums, the
    // TLS key): never served, whatever the front-end directory is set to.
    static std::vector<std::string> SecretFiles();
    // Writes config.json behind a backup copy and checks that it reads back. On failure
    // `problem` (when given) says what failed and why; the previous file stays as it was and
    // no backup is left beside it.
    static bool Save(std::string* problem = nullptr);
    static bool SaveToFile(std::string path);
    // Runs `change` on the settings and saves them; when the save fails, every setting and
    // the buffer are put back as they were and false is returned with the `problem`.
    static bool ChangeAndSave(const std::function<void()>& change, std::string& problem);
    // Shut-down: a last save, then the logger goes.
    static void PostExit();

private:
    static Ostrel::JsonBlock savefileBuffer;
    // The settings as they were when the server started: restart-only ones still act on these.
    static Ostrel::JsonBlock valuesAtStart;
    static ::Logging::Logger* log;
};
