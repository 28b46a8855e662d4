#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Every file and folder that the server owns in its download cache and in its working
// directory, and the address at which a finished download is fetched: the one place that names
// them. Built once at start from the cache directory in use and handed to what needs it; the
// names are those that earlier servers wrote, so that each reads what the other left.
class FileLayout
{
public:
    // In the working directory, whatever the settings.
    static constexpr const char* cookiesFile = "cookies.txt";  // readable by the server's user alone
    static constexpr const char* programsFolder = "bin";       // the programs the server installs itself
    static constexpr const char* ownDownloader = "bin/yt-dlp";
    static constexpr const char* ownJsRuntime = "bin/deno";
    static constexpr const char* settingsFile = "config.json";
    static constexpr const char* settingsBackup = "config.json___";  // while the settings are rewritten
    static constexpr const char* tokensFile = "tokens.json";          // the app tokens' sums and names
    static constexpr const char* subscriptionsFile = "subscriptions.json";
    static constexpr const char* subscriptionArchives = "subscriptions";
    static constexpr const char* notificationsFile = "notifications.json";  // those not yet delivered
    // The videos that the subscription `id` has seen: "subscriptions/<id>.archive".
    static std::string SubscriptionArchive(const std::string& id);

    // The address of a finished download's file: "/download/<pelko id>".
    static std::string DownloadAddress(const std::string& id);
    // Whether `path` is the download route: an address of a download, or the bare "/download".
    static bool IsDownloadRoute(std::string_view path);
    // The id that a path of the download route names ("" for "/download/"); none for the bare
    // "/download".
    static std::optional<std::string> IdOfDownloadAddress(std::string_view path);
    // The shape of a download's address, as a person reads it.
    static std::string DownloadAddressForm();

    // The name under which a metadata fetch keeps its files until its video has an id: no id
    // has it, as a dash is no digit of one.
    static std::string FetchName(uint64_t number);
    // The name of the files of the listing of the playlist whose first video is `name`.
    static std::string ListingName(const std::string& name);
    // The name of the files of a subscription's listing; an empty id is one being added.
    static std::string SubscriptionListingName(const std::string& subscriptionId);

    // The files of one run of the downloader that live only while it runs, all named from one
    // prefix in the progress folder.
    struct Scratch
    {
        std::string prefix;  // "dlcache/dlprogbuf/<name>"

        std::string Progress() const;  // what the program prints, read back as progress
        std::string Errors() const;    // what it prints as errors
        std::string Document() const;  // the JSON document it writes, of a listing
        std::string Cookies() const;   // the run's own copy of the cookies
        // A link to the program that the run started, named like it (`fileName`).
        std::string Program(const std::string& fileName) const;
    };

    explicit FileLayout(std::string cacheDirectory);

    // The cache directory, as the settings named it at start.
    const std::string& CacheDirectory() const;
    std::string IndexFile() const;  // the finished downloads: index.json
    std::string QueueFile() const;  // the others of the session: queue.json
    // Whether a file of the cache directory itself is one of the two above, by its name.
    static bool IsListFile(const std::string& fileName);
    // The cache's folders: metadata, downloads, progress.
    std::vector<std::string> Folders() const;
    // The folders that a download writes into while it runs: downloads and progress.
    std::vector<std::string> RunFolders() const;
    std::string ProgressFolder() const;
    // Whether a file in one of the cache's folders belongs to the download `id`, by its name.
    static bool IsFileOf(const std::string& fileName, const std::string& id);

    // The metadata document of the id (or fetch name) `name`: "metadata/<name>.json".
    std::string MetadataFile(const std::string& name) const;
    // A download's file, with its extension: "download/<id>.<extension>".
    std::string DownloadFile(const std::string& id, const std::string& extension) const;
    // The same with the extension left to the downloader, which writes the file.
    std::string DownloadFileTemplate(const std::string& id) const;
    // The scratch files of the download of the id `name`, or of the listing named `name`.
    Scratch RunScratch(const std::string& name) const;
    // The scratch files of the metadata fetch named `name`.
    Scratch FetchScratch(const std::string& name) const;

private:
    std::string Inside(const char* name) const;  // a file or folder of the cache directory itself

    std::string cacheDirectory;
};
