#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace Downloader
{
    // What a download's progress buffer file (the downloader program's standard output
    // with --newline) tells so far.
    struct ProgressReport
    {
        std::optional<int32_t> percentage;  // from the last "[download]" line that carries one
        int64_t bytesPerSecond = 0;         // 0 while unknown
        int64_t secondsLeft = -1;           // -1 while unknown
        int64_t totalBytes = 0;             // 0 while unknown; an estimate when the program gives one
        bool converting = false;            // a converter (ffmpeg) runs since the last download line
    };

    // Follows one progress buffer file, reading only what was added since the previous read.
    class ProgressBuffer
    {
    public:
        explicit ProgressBuffer(std::string path);

        // Folds the lines written since the last call into `report`; a last line that has no
        // line end yet waits for the next call. False while the file does not exist.
        bool ReadNew(ProgressReport& report);

        // Folds one output line into `report`; later lines override earlier values.
        static void TakeLine(const std::string& line, ProgressReport& report);

    private:
        std::string path;
        int64_t offset = 0;
        std::string unfinishedLine;
    };
}
