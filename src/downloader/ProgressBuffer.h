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
        bool postProcessingEnded = false;   // a line that ends the conversion was seen
    };

    class ProgressBuffer
    {
    public:
        // Folds one output line into `report`; later lines override earlier percentages.
        static void TakeLine(const std::string& line, ProgressReport& report);

        // Reads the whole file from its beginning; nothing when it does not exist (yet).
        static std::optional<ProgressReport> Read(const std::string& path);
    };
}
