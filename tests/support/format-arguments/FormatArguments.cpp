// Prints, one per line, the downloader arguments that Downloader::FormatChoice builds, so that
// the end-to-end tests can run the real yt-dlp with exactly them:
//   pelko_format_arguments selection MODE QUALITY PROGRAM
//   pelko_format_arguments download MODE QUALITY PROGRAM METADATA_FILE
// MODE is video or audio, PROGRAM yt-dlp or youtube-dl; METADATA_FILE holds the document that
// the metadata fetch with the selection arguments wrote.
#include <iostream>
#include <string>
#include "app/FileSystem.h"
#include "downloader/FormatChoice.h"
#include "json/Json.h"

using Downloader::FormatChoice;

int main(int argc, char** argv)
{
    const std::string action = argc > 1 ? argv[1] : "";
    if (!((action == "selection" && argc == 5) || (action == "download" && argc == 6)) ||
        !FormatChoice::IsQuality(argv[3]))
    {
        std::cerr << "usage: " << argv[0] << " selection|download video|audio QUALITY yt-dlp|youtube-dl [METADATA_FILE]\n";
        return 2;
    }
    const Downloader::DOWNLOAD_MODE mode = std::string(argv[2]) == "video" ? Downloader::VIDEO : Downloader::AUDIO;
    const bool ytDlp = std::string(argv[4]) == "yt-dlp";

    std::vector<std::string> arguments;
    if (action == "selection")
        arguments = FormatChoice::SelectionArguments(mode, argv[3], ytDlp);
    else
    {
        const std::string text = FileSystem::ReadFile(argv[5]);
        Downloader::ChosenStreams chosen;
        if (Ostrel::IsJsonValid(text))
        {
            Ostrel::JsonData metadata;
            metadata.Parse(text);
            if (metadata.GetDataType() == Ostrel::JSON)
                chosen = FormatChoice::ChosenIn(metadata.GetJsonData());
        }
        arguments = FormatChoice::DownloadArguments(mode, argv[3], chosen, ytDlp);
    }
    for (const std::string& argument : arguments)
        std::cout << argument << "\n";
    return 0;
}
