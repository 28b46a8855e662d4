#include "downloader/DownloaderCommand.h"

using namespace Downloader;

namespace
{
    using Arguments = std::vector<std::string>;

    void Append(Arguments& arguments, const Arguments& more)
    {
        arguments.insert(arguments.end(), more.begin(), more.end());
    }

    // Pelko's own yt-dlp runs YouTube's scripts with Pelko's own deno; a system's program may
    // predate the option, and finds a runtime of its own.
    void AppendJsRuntime(Arguments& arguments, const DownloaderProgramInfo& program)
    {
        if (program.isOwnCopy && !program.jsRuntime.empty())
            Append(arguments, {"--js-runtimes", "deno:" + program.jsRuntime});
    }

    // No warnings, which would mix with the output read back; every wait on the network ends.
    Arguments Start(const DownloaderProgramInfo& program)
    {
        Arguments arguments = {program.path, "--skip-download", "--no-warnings", "--socket-timeout", "5", "-J"};
        AppendJsRuntime(arguments, program);
        return arguments;
    }

    void AppendCookies(Arguments& arguments, const std::string& cookies)
    {
        if (!cookies.empty())
            Append(arguments, {"--cookies", cookies});
    }

    // "--" keeps an address that starts with a dash from being taken as an option.
    void AppendAddress(Arguments& arguments, const std::string& url)
    {
        Append(arguments, {"--", url});
    }
}

Arguments DownloaderCommand::Metadata(const DownloaderProgramInfo& program, const VideoRequest& video,
                                      const std::string& cookies)
{
    Arguments arguments = Start(program);
    // Flat: a playlist address answers with its list at once, instead of every video's details.
    if (video.playlistIndex > 0)
        Append(arguments, {"--playlist-items", std::to_string(video.playlistIndex)});
    else
        Append(arguments, {"--flat-playlist", "--no-playlist"});
    AppendCookies(arguments, cookies);
    Append(arguments, FormatChoice::SelectionArguments(video.mode, video.quality, video.audioFormat,
                                                       program.takesYtDlpOptions));
    AppendAddress(arguments, video.url);
    return arguments;
}

Arguments DownloaderCommand::Playlist(const DownloaderProgramInfo& program, const std::string& url,
                                      int32_t maxItems, const std::string& cookies)
{
    Arguments arguments = Start(program);
    Append(arguments, {"--flat-playlist", "--yes-playlist", "--playlist-end", std::to_string(maxItems)});
    AppendCookies(arguments, cookies);
    AppendAddress(arguments, url);
    return arguments;
}

Arguments DownloaderCommand::Download(const DownloaderProgramInfo& program, const VideoRequest& video,
                                      const ChosenStreams& chosen, const FileExtras& extras, const std::string& rate,
                                      const std::string& outputTemplate, const std::string& cookies)
{
    Arguments arguments = {program.path, "--newline"};
    // yt-dlp lists this one as doing nothing.
    if (!program.takesYtDlpOptions)
        arguments.push_back("--no-call-home");
    // One video, always: of a page that holds several, the downloader would write them all
    // into the one file.
    Append(arguments, {"--no-playlist", "--playlist-items", std::to_string(video.playlistIndex > 0 ? video.playlistIndex : 1),
                       "--no-part", "--no-warnings", "--socket-timeout", "5", "--limit-rate", rate, "--no-mtime",
                       "--no-cache-dir"});
    AppendCookies(arguments, cookies);
    AppendJsRuntime(arguments, program);
    Append(arguments, FormatChoice::DownloadArguments(video.mode, video.quality, video.audioFormat, chosen,
                                                      program.takesYtDlpOptions));
    Append(arguments, extras.Arguments(video.mode, program.takesYtDlpOptions));
    Append(arguments, {"-o", outputTemplate});
    AppendAddress(arguments, video.url);
    return arguments;
}
