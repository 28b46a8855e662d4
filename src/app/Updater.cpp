#include "app/Updater.h"
#include <arpa/inet.h>
#include <cctype>
#include <curl/curl.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <sodium.h>
#include <sys/utsname.h>
#include <thread>
#include "app/FileLayout.h"
#include "app/FileSystem.h"
#include "app/HttpClient.h"
#include "app/Sha256.h"
#include "config/XGConfig.h"
#include "downloader/DownloaderProgram.h"
#include "downloader/ExternalProgram.h"

const char* const Updater::officialReleaseFolder = "https://github.com/yt-dlp/yt-dlp/releases/latest/download/";
const char* const Updater::officialRuntimeFolder = "https://github.com/denoland/deno/releases/latest/download/";

namespace
{
    // The sums list a few dozen files.
    constexpr size_t sumsLimit = 1024 * 1024;

    // What one verified install takes from a release folder.
    struct Release
    {
        std::string program;    // its name in messages, and its name inside a zip archive
        std::string sumsName;   // the sums listing that names `asset`
        std::string asset;      // the file downloaded: the program itself, or a zip archive
        bool zipped = false;    // `asset` is a zip archive holding `program`
        size_t limit = 0;
        std::string installed;  // where the program goes
    };

    std::mutex updateMutex;  // one update at a time: they share the staging files
    constexpr const char* stoppedForShutDown = "The update was stopped: the server is shutting down.";

    std::string DescribeLimit(size_t bytes)
    {
        return std::to_string(bytes / (1024 * 1024)) + " MiB";
    }

    // Anyone between the server and the release host could swap a program fetched over plain
    // HTTP together with its sum, so plain HTTP is taken only from this machine.
    bool IsSafeFolder(const std::string& url)
    {
        std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
        if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
            return false;
        char* scheme = nullptr;
        char* host = nullptr;
        curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0);
        curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0);
        const std::string schemeText = scheme ? scheme : "";
        const std::string hostText = host ? host : "";
        curl_free(scheme);
        curl_free(host);

        if (schemeText == "https")
            return true;
        in_addr ipv4{};
        const bool loopback = hostText == "localhost" || hostText == "[::1]" ||
                              (inet_pton(AF_INET, hostText.c_str(), &ipv4) == 1 && (ntohl(ipv4.s_addr) >> 24) == 127);
        return schemeText == "http" && loopback;
    }

    // The whole file at `url` into `content`; nothing, or a sentence that says what failed.
    std::optional<std::string> Fetch(const std::string& url, size_t limit, const std::atomic<bool>* stop,
                                     std::string& content)
    {
        HttpClient::Request request;
        request.url = url;
        request.limit = limit;
        request.stop = stop;
        // The release folder redirects to the file's storage host; never to plain HTTP.
        request.followRedirectsToHttps = true;
        request.abortWhenStalled = true;
        HttpClient::Response response = HttpClient::Perform(request);
        switch (response.outcome)
        {
        case HttpClient::STOPPED:
            return std::string(stoppedForShutDown);
        case HttpClient::TOO_LARGE:
            return "Could not download " + url + ": it is larger than " + DescribeLimit(limit) + ".";
        case HttpClient::FAILED:
            return "Could not download " + url + ": " + response.error + ".";
        case HttpClient::ANSWERED:
            break;
        }
        if (response.status != 200)
            return "Could not download " + url + ": the server answered with HTTP status " +
                   std::to_string(response.status) + ".";
        content = std::move(response.body);
        return std::nullopt;
    }

    // The sum that a sha256sum listing ("<hex>  <name>", or "<hex> *<name>") gives `name`.
    std::optional<std::string> ListedSum(const std::string& sums, const std::string& name)
    {
        size_t begin = 0;
        while (begin < sums.size())
        {
            size_t end = sums.find('\n', begin);
            if (end == std::string::npos)
                end = sums.size();
            std::string line = sums.substr(begin, end - begin);
            begin = end + 1;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();

            const size_t space = line.find_first_of(" \t");
            if (space != 64 || line.find_first_not_of("0123456789abcdefABCDEF") != 64)
                continue;
            std::string listed = line.substr(line.find_first_not_of(" \t", space));
            if (!listed.empty() && listed.front() == '*')
                listed.erase(0, 1);
            if (listed != name)
                continue;
            std::string sum = line.substr(0, 64);
            for (char& c : sum)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return sum;
        }
        return std::nullopt;
    }


    Updater::Outcome Failure(std::string error)
    {
        Updater::Outcome outcome;
        outcome.error = std::move(error);
        return outcome;
    }

    // The program out of the zip archive `archive` into `staged`, by Debian's unzip; nothing,
    // or a sentence that says what failed.
    std::optional<std::string> Unpack(const Release& release, const std::string& archive, const std::string& staged,
                                      const std::atomic<bool>* stop)
    {
        // Its complaints would end up in the console; the status says enough.
        const Downloader::ExternalProgram::Outcome outcome =
            Downloader::ExternalProgram::Run({"unzip", "-p", archive, release.program}, staged, "/dev/null", stop);
        if (stop != nullptr && *stop)
            return std::string(stoppedForShutDown);
        if (outcome.exitStatus != 0)
            return "Could not unpack " + release.program + " from " + release.asset +
                   (outcome.exitStatus == 127 || !outcome.started
                        ? std::string(": unzip could not be started (is the unzip package installed?).")
                        : ": unzip ended with status " + std::to_string(outcome.exitStatus) + ".");
        std::error_code error;
        std::filesystem::permissions(staged, std::filesystem::perms(0755), error);
        if (error)
            return "Could not make the new " + release.program + " executable: " + error.message() + ".";
        return std::nullopt;
    }

    // Downloads the release's sums and its asset from `releaseFolderUrl`, checks the asset's
    // SHA-256 sum, unpacks it when zipped, checks that the program answers --version here and only
    // then puts it in place of the installed one in one step. Every failure leaves that one as it was.
    Updater::Outcome InstallVerified(const Release& release, const std::string& releaseFolderUrl,
                                     const std::atomic<bool>* stop)
    {
        if (stop != nullptr && *stop)
            return Failure(stoppedForShutDown);
        if (!IsSafeFolder(releaseFolderUrl))
            return Failure("The update address \"" + releaseFolderUrl +
                           "\" is no https:// address (plain http:// is taken only from this machine).");
        if (sodium_init() < 0)
            return Failure("The SHA-256 sum cannot be checked: libsodium could not start.");
        const std::string folder = releaseFolderUrl.back() == '/' ? releaseFolderUrl : releaseFolderUrl + "/";

        std::lock_guard<std::mutex> lock(updateMutex);
        std::string sums;
        if (const auto error = Fetch(folder + release.sumsName, sumsLimit, stop, sums))
            return Failure(*error);
        const std::optional<std::string> expectedSum = ListedSum(sums, release.asset);
        if (!expectedSum)
            return Failure("The release's " + release.sumsName + " lists no sum for " + release.asset + ".");

        std::string asset;
        if (const auto error = Fetch(folder + release.asset, release.limit, stop, asset))
            return Failure(*error);
        if (Sha256::Hex(asset) != *expectedSum)
            return Failure("The downloaded " + release.asset + " does not match its SHA-256 sum in " +
                           release.sumsName + ".");

        const std::filesystem::path installed = release.installed;
        const std::string staged = installed.string() + ".download";
        const std::string archive = staged + ".zip";
        std::error_code ignored;
        const auto failure = [&](std::string error) {
            std::filesystem::remove(staged, ignored);
            std::filesystem::remove(archive, ignored);
            return Failure(std::move(error));
        };
        std::filesystem::create_directories(installed.parent_path(), ignored);
        if (!FileSystem::WriteFile(release.zipped ? archive : staged, std::move(asset), 0755))
            return failure("Could not write the new " + release.program + " into " + installed.parent_path().string() +
                           "/.");
        if (release.zipped)
        {
            if (const auto error = Unpack(release, archive, staged, stop))
                return failure(*error);
            std::filesystem::remove(archive, ignored);
        }

        // A program that does not start here (say, it needs a newer Python) must not replace one
        // that does.
        const std::string version = Downloader::DownloaderProgram::VersionOf(staged, stop);
        if (stop != nullptr && *stop)
            return failure(stoppedForShutDown);
        if (version.empty())
            return failure("The downloaded " + release.program + " does not run here: it answered no version.");
        std::error_code renamed;
        std::filesystem::rename(staged, installed, renamed);
        if (renamed)
            return failure("Could not put the new " + release.program + " in place of " + installed.string() + ": " +
                           renamed.message() + ".");

        Updater::Outcome outcome;
        outcome.installed = true;
        outcome.version = version;
        return outcome;
    }

    // Deno's name for this machine's Linux build; empty when it publishes none.
    std::string RuntimeTarget()
    {
        utsname machine{};
        if (uname(&machine) != 0)
            return "";
        const std::string architecture = machine.machine;
        return architecture == "x86_64" || architecture == "aarch64" ? architecture + "-unknown-linux-gnu" : "";
    }
}

namespace
{
    // The update under way or last done, with its thread; main thread only.
    struct UpdateThread
    {
        std::shared_ptr<Updater::Run> run;
        std::atomic<bool> stop = false;
        std::thread thread;
    };
    std::unique_ptr<UpdateThread> current;
    bool stopped = false;
}

std::shared_ptr<const Updater::Run> Updater::UpdateYoutubeDL()
{
    if (current && !current->run->ended)
        return current->run;
    if (current && current->thread.joinable())
        current->thread.join();
    current = std::make_unique<UpdateThread>();
    current->run = std::make_shared<Run>();
    if (stopped)
    {
        current->run->outcome.error = stoppedForShutDown;
        current->run->ended = true;
        return current->run;
    }
    // The setting is read here, on the main thread, which alone writes it.
    current->thread = std::thread(
        [run = current->run, stop = &current->stop, folder = XGConfig::downloader.update_url,
         runtimeFolder = XGConfig::downloader.js_runtime_url] {
            run->outcome = InstallDownloader(folder, stop);
            run->runtime = InstallJsRuntime(runtimeFolder, stop);
            run->ended = true;
        });
    return current->run;
}

void Updater::PreInit()
{
    stopped = false;
}

void Updater::Stop()
{
    stopped = true;
    if (!current)
        return;
    current->stop = true;
    if (current->thread.joinable())
        current->thread.join();
}

Updater::Outcome Updater::InstallDownloader(const std::string& releaseFolderUrl, const std::atomic<bool>* stop)
{
    // The single-file program is a few MiB.
    return InstallVerified({.program = "yt-dlp",
                            .sumsName = "SHA2-256SUMS",
                            .asset = "yt-dlp",
                            .limit = 64 * 1024 * 1024,
                            .installed = FileLayout::ownDownloader},
                           releaseFolderUrl, stop);
}

Updater::Outcome Updater::InstallJsRuntime(const std::string& releaseFolderUrl, const std::atomic<bool>* stop)
{
    const std::string target = RuntimeTarget();
    if (target.empty())
        return Failure("Deno publishes no build for this machine's processor.");
    const std::string asset = "deno-" + target + ".zip";
    // The archive is some 45 MiB and grows with every release.
    Outcome outcome = InstallVerified({.program = "deno",
                                       .sumsName = asset + ".sha256sum",
                                       .asset = asset,
                                       .zipped = true,
                                       .limit = 256 * 1024 * 1024,
                                       .installed = FileLayout::ownJsRuntime},
                                      releaseFolderUrl, stop);
    outcome.version = Downloader::DownloaderProgram::RuntimeVersion(outcome.version);
    return outcome;
}
