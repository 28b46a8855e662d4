// Prints, one per line, the downloader command lines that the server runs (Downloader::DownloaderCommand),
// so that the end-to-end tests can run the real yt-dlp with exactly them:
//   pelko_format_arguments metadata PROGRAM MODE QUALITY PLACE URL
//   pelko_format_arguments playlist PROGRAM MAX_ITEMS URL
//   pelko_format_arguments download PROGRAM MODE QUALITY PLACE METADATA_FILE OUTPUT_TEMPLATE
//                          [SUBTITLES SPONSORBLOCK CATEGORIES API] URL
// PROGRAM is the downloader's path (it takes yt-dlp's options when its name ends in "yt-dlp"), MODE
// video or audio, QUALITY of audio an audio format (mp3, m4a, ...), PLACE 0 or a place on the playlist at URL; METADATA_FILE holds the document that
// the metadata command printed; the four optional ones are the file's extras (FileExtras), none by default.
// The downloads are limited to 100M a second, as by default.
#include <iostream>
#include <string>
#include "downloader/DownloaderCommand.h"
#include "downloader/MetadataDocument.h"

using namespace Downloader;

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string action = arguments.empty() ? "" : arguments[0];
    const bool withExtras = action == "download" && arguments.size() == 12;
    const size_t expected = action == "metadata" ? 6 : action == "playlist" ? 4 : action == "download" ? (withExtras ? 12 : 8) : 0;
    if (expected == 0 || arguments.size() != expected ||
        (action != "playlist" && !FormatChoice::IsQuality(arguments[3]) && !FormatChoice::IsAudioFormat(arguments[3])))
    {
        std::cerr << "usage: see the top of FormatArguments.cpp\n";
        return 2;
    }

    DownloaderProgramInfo program;
    program.path = arguments[1];
    program.takesYtDlpOptions = program.path.ends_with("yt-dlp");
    std::vector<std::string> command;
    if (action == "playlist")
        command = DownloaderCommand::Playlist(program, arguments[3], std::stoi(arguments[2]), "");
    else
    {
        const bool audioFormat = FormatChoice::IsAudioFormat(arguments[3]);
        const VideoRequest video{arguments.back(), arguments[2] == "video" ? VIDEO : AUDIO,
                                 audioFormat ? "best" : arguments[3], std::stoi(arguments[4]),
                                 audioFormat ? arguments[3] : "mp3"};
        if (action == "metadata")
            command = DownloaderCommand::Metadata(program, video, "");
        else
        {
            const FileExtras extras = withExtras ? FileExtras{arguments[7], arguments[8], arguments[9], arguments[10]}
                                                 : FileExtras{};
            command = DownloaderCommand::Download(program, video,
                                                  MetadataDocument::Read(arguments[5], video.playlistIndex > 0).Chosen(),
                                                  extras, "100M", arguments[6], "");
        }
    }
    for (const std::string& argument : command)
        std::cout << argument << "\n";
    return 0;
}
