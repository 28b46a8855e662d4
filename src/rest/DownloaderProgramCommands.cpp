#include <filesystem>
#include "app/Updater.h"
#include "downloader/Cookies.h"
#include "downloader/DownloaderVersions.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;
using Downloader::Cookies;

bool RestQueryHandler::SetCookies(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                  HTTP_STATUS_CODE& responseCode)
{
    if (!ValidateField("cookies", Ostrel::STRING, Ostrel::JsonData(request), responseBody))
    {
        responseCode = BAD_REQUEST;
        return false;
    }
    // Never the text: the logs are shown to every client.
    log->stream << "Setting cookies...";
    log->Flush();

    const std::string& text = request.Get("cookies").GetStringData();
    const std::string refusal = Cookies::Check(text);
    const std::string problem = refusal.empty() ? Cookies::Set(text) : refusal;
    if (!problem.empty())
    {
        StartReply(refusal.empty() ? INTERNAL_SERVER_ERROR : BAD_REQUEST, responseBody, responseCode);
        responseBody.Set("message") = problem;
        return false;
    }
    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = "Cookies set: every download sends them from now on.";
    return true;
}

bool RestQueryHandler::ClearCookies(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                    HTTP_STATUS_CODE& responseCode)
{
    log->stream << "Clearing cookies...";
    log->Flush();
    const bool hadCookies = Cookies::Clear();
    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = hadCookies ? "Cookies cleared." : "No cookies were set.";
    return true;
}

bool RestQueryHandler::GetDownloaderInfo(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                         HTTP_STATUS_CODE& responseCode)
{
    // The version comes from running the program, which is not done on the main thread: a
    // version not known yet is found out while the request is held.
    auto described = std::make_shared<std::optional<Downloader::DownloaderProgramInfo>>();
    const auto isReady = [described] {
        *described = Downloader::DownloaderVersions::Describe();
        return described->has_value();
    };
    const ReplyBuilder build = [described](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
        const Downloader::DownloaderProgramInfo& program = described->value();
        StartReply(OK, body, code);
        body.Set("path") = program.path;
        body.Set("name") = program.path.empty() ? "" : std::filesystem::path(program.path).filename().string();
        body.Set("version") = program.version;
        body.Set("own_copy") = program.isOwnCopy;
        body.Set("js_runtime_version") = program.jsRuntimeVersion;
        body.Set("cookies_set") = Cookies::IsSet();
        return true;
    };
    if (isReady())
        return build(responseBody, responseCode);
    Hold({isReady, build});
    return true;
}

bool RestQueryHandler::UpdateYoutubeDL(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                       HTTP_STATUS_CODE& responseCode)
{
    log->stream << "Updating youtube-dl...";
    log->Flush();
    // Every request that comes while an update runs waits for that same update.
    const std::shared_ptr<const Updater::Run> run = Updater::UpdateYoutubeDL();
    const ReplyBuilder build = [run](Ostrel::JsonBlock& body, HTTP_STATUS_CODE& code) {
        const Updater::Outcome& outcome = run->outcome;
        const Updater::Outcome& runtime = run->runtime;
        // deno goes with yt-dlp: the update is done when both are in place.
        const std::string runtimeFailure = "The JavaScript runtime deno was not updated: " + runtime.error +
                                           " The old one stays in use.";
        if (outcome.installed && runtime.installed)
        {
            log->stream << "   => OK! Installed yt-dlp " << outcome.version << " and deno " << runtime.version << ".";
            StartReply(OK, body, code);
            body.Set("message") = "Updated youtube-dl.exe successfully!";
        }
        else
        {
            const std::string failure = outcome.installed ? "Updated yt-dlp to " + outcome.version + ". " + runtimeFailure
                                                          : outcome.error + " The old program stays in use.";
            log->stream << log->Err() << "   => " << failure
                        << (outcome.installed || runtime.installed ? "" : " " + runtimeFailure);
            StartReply(INTERNAL_SERVER_ERROR, body, code);
            body.Set("message") = outcome.installed ? failure : "Unable do update youtube-dl.exe! " + failure;
            if (!runtime.installed)
                body.Set("js_runtime_message") = runtimeFailure;
        }
        if (outcome.installed)
            body.Set("version") = outcome.version;
        if (runtime.installed)
            body.Set("js_runtime_version") = runtime.version;
        log->Flush();
        return true;
    };
    if (run->ended)
        return build(responseBody, responseCode);
    Hold({[run] { return run->ended.load(); }, build});
    return true;
}
