#include "downloader/ProgressBuffer.h"
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

using namespace Downloader;

namespace
{
    bool StartsWith(const std::string& text, const char* prefix)
    {
        return text.rfind(prefix, 0) == 0;
    }

    // "258.55KiB", "~ 10.00MiB", "1.00MiB/s" and the like, as the downloader writes sizes;
    // -1 for "Unknown" or anything else it cannot read.
    int64_t ReadSize(const std::string& line, size_t at)
    {
        while (at < line.size() && (line[at] == ' ' || line[at] == '~'))
            at++;
        const char* begin = line.c_str() + at;
        char* end = nullptr;
        const double number = std::strtod(begin, &end);
        if (end == begin || !std::isfinite(number) || number < 0)
            return -1;
        static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
        static const char* const decimalUnits[] = {"B", "KB", "MB", "GB", "TB", "PB"};
        const std::string rest(end);
        for (int power = 5; power >= 0; power--)
        {
            if (StartsWith(rest, units[power]))
                return static_cast<int64_t>(number * std::pow(1024.0, power));
            if (StartsWith(rest, decimalUnits[power]))
                return static_cast<int64_t>(number * std::pow(1000.0, power));
        }
        return -1;
    }

    // "00:05", "01:02:03"; -1 for "Unknown".
    int64_t ReadDuration(const std::string& line, size_t at)
    {
        int64_t total = 0;
        int64_t component = 0;
        bool digits = false;
        for (; at < line.size(); at++)
        {
            const char c = line[at];
            if (c >= '0' && c <= '9')
            {
                component = component * 10 + (c - '0');
                digits = true;
            }
            else if (c == ':' && digits)
            {
                total = (total + component) * 60;
                component = 0;
            }
            else
            {
                break;
            }
        }
        return digits ? total + component : -1;
    }

    size_t After(const std::string& line, const char* marker)
    {
        const size_t at = line.find(marker);
        return at == std::string::npos ? std::string::npos : at + std::char_traits<char>::length(marker);
    }

    // The tags under which the downloader and ffmpeg report their conversions.
    const char* const conversionTags[] = {"[ExtractAudio]", "[VideoConvertor]", "[VideoRemuxer]", "[Merger]",
                                          "[ffmpeg]",       "[Fixup",           "Deleting original file"};
}

ProgressBuffer::ProgressBuffer(std::string path) : path(std::move(path))
{
}

void ProgressBuffer::TakeLine(const std::string& line, ProgressReport& report)
{
    for (const char* tag : conversionTags)
        if (StartsWith(line, tag))
            report.converting = true;

    if (line.size() < 15 || !StartsWith(line, "[download]"))
        return;
    if (StartsWith(line, "[download] Destination:"))
        report.converting = false;

    // "[download]  45.3% of ..." keeps its whole percent in the three columns after the
    // tag and its space; "[download] Destination: ..." has no digit there.
    std::string digits;
    for (size_t i = 11; i <= 13; i++)
        if (line[i] >= '0' && line[i] <= '9')
            digits += line[i];
    if (digits.empty())
        return;
    report.percentage = std::stoi(digits);

    if (const size_t total = After(line, "% of "); total != std::string::npos)
        report.totalBytes = std::max<int64_t>(0, ReadSize(line, total));
    if (const size_t speed = After(line, " at "); speed != std::string::npos)
        report.bytesPerSecond = std::max<int64_t>(0, ReadSize(line, speed));
    const size_t eta = After(line, " ETA ");
    // The closing "100% of ... in 00:09" line has no time left.
    report.secondsLeft = eta == std::string::npos ? (*report.percentage >= 100 ? 0 : -1) : ReadDuration(line, eta);
}

bool ProgressBuffer::ReadNew(ProgressReport& report)
{
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return false;
    char chunk[16384];
    for (;;)
    {
        const ssize_t got = pread(file, chunk, sizeof(chunk), offset);
        if (got <= 0)
            break;
        offset += got;
        for (ssize_t i = 0; i < got; i++)
        {
            if (chunk[i] != '\n')
            {
                unfinishedLine += chunk[i];
                continue;
            }
            TakeLine(unfinishedLine, report);
            unfinishedLine.clear();
        }
    }
    close(file);
    return true;
}
