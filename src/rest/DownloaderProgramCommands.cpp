#include <filesystem>
#include "app/Updater.h"
#include "downloader/Cookies.h"
#include "downloader/DownloaderVersions.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;
using Downloader::Cookies;

Reply RestQueryHandler::SetCookies(const Ostrel::JsonBlock& request)
{
    if (Refusal refusal = RequireField("cookies", Ostrel::STRING, request))
        return std::move(*refusal);
    // Never the text: the logs are shown to every client.
    log->stream << "Setting cookies...";
    log->Flush();

    const std::string& text = request.Get("cookies").GetStringData();
    const std::string refusal = Cookies::Check(text);
    const std::string problem = refusal.empty() ? Cookies::Set(text) : refusal;
    if (!problem.empty())
        return Reply::WithMessage(refusal.empty() ? INTERNAL_SERVER_ERROR : BAD_REQUEST, problem);
    return Reply::WithMessage(OK, "Cookies set: every download sends them from now on.");
}

Reply RestQueryHandler::ClearCookies(const Ostrel::JsonBlock&)
{
    log->stream << "Clearing cookies...";
    log->Flush();
    return Reply::WithMessage(OK, Cookies::Clear() ? "Cookies cleared." : "No cookies were set.");
}

Reply RestQueryHandler::GetDownloaderInfo(const Ostrel::JsonBlock&)
{
    // The version comes from running the program, which is not done on the main thread: a
    // version not known yet is found out while the request is held.
    auto described = std::make_shared<std::optional<Downloader::DownloaderProgramInfo>>();
    const auto isReady = [described] {
        *described = Downloader::DownloaderVersions::Describe();
        return described->has_value();
    };
    const ReplyBuilder build = [described] {
        const Downloader::DownloaderProgramInfo& program = described->value();
        Reply reply = Reply::Of(OK);
        reply.Set("path") = program.path;
        reply.Set("name") = program.path.empty() ? "" : std::filesystem::path(program.path).filename().string();
        reply.Set("version") = program.version;
        reply.Set("own_copy") = program.isOwnCopy;
        reply.Set("js_runtime_version") = program.jsRuntimeVersion;
        reply.Set("cookies_set") = Cookies::IsSet();
        return reply;
    };
    if (isReady())
        return build();
    return Reply::Held({isReady, build});
}

Reply RestQueryHandler::UpdateYoutubeDL(const Ostrel::JsonBlock&)
{
    log->stream << "Updating youtube-dl...";
    log->Flush();
    // Every request that comes while an update runs waits for that same update.
    const std::shared_ptr<const Updater::Run> run = Updater::UpdateYoutubeDL();
    const ReplyBuilder build = [run] {
        const Updater::Outcome& outcome = run->outcome;
        const Updater::Outcome& runtime = run->runtime;
        // deno goes with yt-dlp: the update is done when both are in place.
        const std::string runtimeFailure = "The JavaScript runtime deno was not updated: " + runtime.error +
                                           " The old one stays in use.";
        Reply reply;
        if (outcome.installed && runtime.installed)
        {
            log->stream << "   => OK! Installed yt-dlp " << outcome.version << " and deno " << runtime.version << ".";
            reply = Reply::WithMessage(OK, "Updated youtube-dl.exe successfully!");
        }
        else
        {
            const std::string failure = outcome.installed ? "Updated yt-dlp to " + outcome.version + ". " + runtimeFailure
                                                          : outcome.error + " The old program stays in use.";
            log->stream << log->Err() << "   => " << failure
                        << (outcome.installed || runtime.installed ? "" : " " + runtimeFailure);
            reply = Reply::WithMessage(INTERNAL_SERVER_ERROR,
                                       outcome.installed ? failure : "Unable do update youtube-dl.exe! " + failure);
            if (!runtime.installed)
                reply.Set("js_runtime_message") = runtimeFailure;
        }
        if (outcome.installed)
            reply.Set("version") = outcome.version;
        if (runtime.installed)
            reply.Set("js_runtime_version") = runtime.version;
        log->Flush();
        return reply;
    };
    if (run->ended)
        return build();
    return Reply::Held({[run] { return run->ended.load(); }, build});
}
