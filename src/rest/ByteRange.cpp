#include "rest/ByteRange.h"
#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

using namespace Rest;

namespace
{
    std::string Trimmed(const std::string& text)
    {
        const size_t begin = text.find_first_not_of(" \t");
        if (begin == std::string::npos)
            return "";
        return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
    }

    // A decimal number of digits only; false when empty. A number beyond 64 bits lies past the
    // end of any file, so it reads as the largest one rather than as a fault.
    bool ParseNumber(const std::string& text, uint64_t& number)
    {
        if (text.empty() || !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
            return false;
        if (std::from_chars(text.data(), text.data() + text.size(), number).ec == std::errc::result_out_of_range)
            number = std::numeric_limits<uint64_t>::max();
        return true;
    }
}

ByteRange ByteRange::Parse(const std::string& header, uint64_t size)
{
    const ByteRange whole;
    const std::string text = Trimmed(header);
    const size_t equals = text.find('=');
    if (equals == std::string::npos)
        return whole;
    std::string unit = Trimmed(text.substr(0, equals));
    std::transform(unit.begin(), unit.end(), unit.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::string ranges = Trimmed(text.substr(equals + 1));
    const size_t dash = ranges.find('-');
    if (unit != "bytes" || ranges.find(',') != std::string::npos || dash == std::string::npos)
        return whole;

    const std::string firstText = Trimmed(ranges.substr(0, dash));
    const std::string lastText = Trimmed(ranges.substr(dash + 1));
    uint64_t first = 0;
    uint64_t last = 0;
    if (firstText.empty())
    {
        if (!ParseNumber(lastText, last))
            return whole;
        if (last == 0 || size == 0)
            return {UNSATISFIABLE, 0, 0};
        const uint64_t length = std::min(last, size);
        return {PART, size - length, length};
    }
    if (!ParseNumber(firstText, first))
        return whole;
    if (lastText.empty())
        last = std::numeric_limits<uint64_t>::max();
    else if (!ParseNumber(lastText, last) || last < first)
        return whole;
    if (first >= size)
        return {UNSATISFIABLE, 0, 0};
    return {PART, first, std::min(last, size - 1) - first + 1};
}

std::string ByteRange::ContentRange(uint64_t size) const
{
    if (kind != PART)
        return "bytes */" + std::to_string(size);
    return "bytes " + std::to_string(first) + "-" + std::to_string(first + length - 1) + "/" + std::to_string(size);
}
