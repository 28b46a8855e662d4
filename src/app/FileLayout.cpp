#include "app/FileLayout.h"

namespace
{
    constexpr std::string_view downloadRoute = "/download";
    constexpr std::string_view downloadPrefix = "/download/";
    const char* const indexFile = "index.json";
    const char* const queueFile = "queue.json";
    const char* const metadataFolder = "metadata";
    const char* const downloadFolder = "download";
    const char* const progressFolder = "dlprogbuf";
}

std::string FileLayout::SubscriptionArchive(const std::string& id)
{
    return std::string(subscriptionArchives) + "/" + id + ".archive";
}

std::string FileLayout::DownloadAddress(const std::string& id)
{
    return std::string(downloadPrefix) + id;
}

bool FileLayout::IsDownloadRoute(std::string_view path)
{
    return path == downloadRoute || path.starts_with(downloadPrefix);
}

std::optional<std::string> FileLayout::IdOfDownloadAddress(std::string_view path)
{
    if (!path.starts_with(downloadPrefix))
        return std::nullopt;
    return std::string(path.substr(downloadPrefix.size()));
}

std::string FileLayout::DownloadAddressForm()
{
    return DownloadAddress("<pelko id>");
}

std::string FileLayout::FetchName(uint64_t number)
{
    return "fetch-" + std::to_string(number);
}

std::string FileLayout::ListingName(const std::string& name)
{
    return name + ".playlist";
}

std::string FileLayout::SubscriptionListingName(const std::string& subscriptionId)
{
    return "subscription-" + (subscriptionId.empty() ? "new" : subscriptionId);
}

std::string FileLayout::Scratch::Progress() const
{
    return prefix + ".buf";
}

std::string FileLayout::Scratch::Errors() const
{
    return prefix + ".err";
}

std::string FileLayout::Scratch::Document() const
{
    return prefix + ".json";
}

std::string FileLayout::Scratch::Cookies() const
{
    return prefix + ".cookies";
}

std::string FileLayout::Scratch::Program(const std::string& fileName) const
{
    return prefix + "." + fileName;
}

FileLayout::FileLayout(std::string cacheDirectory) : cacheDirectory(std::move(cacheDirectory)) {}

const std::string& FileLayout::CacheDirectory() const
{
    return cacheDirectory;
}

std::string FileLayout::IndexFile() const
{
    return Inside(indexFile);
}

std::string FileLayout::QueueFile() const
{
    return Inside(queueFile);
}

bool FileLayout::IsListFile(const std::string& fileName)
{
    return fileName == indexFile || fileName == queueFile;
}

std::vector<std::string> FileLayout::Folders() const
{
    std::vector<std::string> folders = RunFolders();
    folders.insert(folders.begin(), Inside(metadataFolder));
    return folders;
}

std::vector<std::string> FileLayout::RunFolders() const
{
    return {Inside(downloadFolder), ProgressFolder()};
}

std::string FileLayout::ProgressFolder() const
{
    return Inside(progressFolder);
}

bool FileLayout::IsFileOf(const std::string& fileName, const std::string& id)
{
    return fileName.size() > id.size() && fileName.compare(0, id.size(), id) == 0 && fileName[id.size()] == '.';
}

std::string FileLayout::MetadataFile(const std::string& name) const
{
    return Inside(metadataFolder) + "/" + name + ".json";
}

std::string FileLayout::DownloadFile(const std::string& id, const std::string& extension) const
{
    return Inside(downloadFolder) + "/" + id + "." + extension;
}

std::string FileLayout::DownloadFileTemplate(const std::string& id) const
{
    // The downloader's own pattern for the extension of the file it writes.
    return DownloadFile(id, "%(ext)s");
}

FileLayout::Scratch FileLayout::RunScratch(const std::string& name) const
{
    return {ProgressFolder() + "/" + name};
}

std::string FileLayout::Inside(const char* name) const
{
    return cacheDirectory + "/" + name;
}

FileLayout::Scratch FileLayout::FetchScratch(const std::string& name) const
{
    return RunScratch(name + ".metadata");
}
