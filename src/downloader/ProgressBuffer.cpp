#include "downloader/ProgressBuffer.h"
#include <fstream>

using namespace Downloader;

void ProgressBuffer::TakeLine(const std::string& line, ProgressReport& report)
{
    if (line.size() < 15)
        return;

    if (line.compare(0, 10, "[download]") == 0)
    {
        // "[download]  45.3% of ..." keeps its whole percent in the three columns after
        // the tag and its space; "[download] Destination: ..." has no digit there.
        std::string digits;
        for (size_t i = 11; i <= 13; i++)
            if (line[i] >= '0' && line[i] <= '9')
                digits += line[i];
        if (!digits.empty())
            report.percentage = std::stoi(digits);
    }
    else if (line.rfind("Deleting original file", 0) == 0 || line.rfind("[ffmpeg] Not converting", 0) == 0)
    {
        report.postProcessingEnded = true;
    }
}

std::optional<ProgressReport> ProgressBuffer::Read(const std::string& path)
{
    std::ifstream in(path);
    if (!in.is_open())
        return std::nullopt;

    ProgressReport report;
    std::string line;
    while (std::getline(in, line))
        TakeLine(line, report);
    return report;
}
