#include "downloader/Cookies.h"
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>
#include "app/FileLayout.h"
#include "app/FileSystem.h"

using namespace Downloader;

namespace
{
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

    // Browsers' exports written by some editors start with a byte order mark, which the
    // downloader would take as part of the first line and then refuse the whole file.
    std::string_view WithoutByteOrderMark(std::string_view text)
    {
        if (text.substr(0, byteOrderMark.size()) == byteOrderMark)
            text.remove_prefix(byteOrderMark.size());
        return text;
    }

    bool IsUtf8(std::string_view text)
    {
        size_t i = 0;
        while (i < text.size())
        {
            const auto lead = static_cast<unsigned char>(text[i]);
            size_t length = 0;
            unsigned int lowestSecond = 0x80;
            unsigned int highestSecond = 0xBF;
            if (lead < 0x80)
                length = 1;
            else if (lead >= 0xC2 && lead <= 0xDF)
                length = 2;
            else if (lead >= 0xE0 && lead <= 0xEF)
            {
                length = 3;
                lowestSecond = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
                highestSecond = lead == 0xED ? 0x9F : 0xBF;  // no UTF-16 surrogates
            }
            else if (lead >= 0xF0 && lead <= 0xF4)
            {
                length = 4;
                lowestSecond = lead == 0xF0 ? 0x90 : 0x80;
                highestSecond = lead == 0xF4 ? 0x8F : 0xBF;
            }
            else
                return false;

            if (i + length > text.size())
                return false;
            for (size_t k = 1; k < length; k++)
            {
                const auto next = static_cast<unsigned char>(text[i + k]);
                const unsigned int lowest = k == 1 ? lowestSecond : 0x80;
                const unsigned int highest = k == 1 ? highestSecond : 0xBF;
                if (next < lowest || next > highest)
                    return false;
            }
            i += length;
        }
        return true;
    }

    bool HasControlCharacters(std::string_view text)
    {
        for (const char c : text)
        {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < 0x20 && c != '\t' && c != '\n' && c != '\r') || byte == 0x7F)
                return true;
        }
        return false;
    }

    // Line ends as the downloader reads them: "\n", "\r\n" or a lone "\r".
    std::vector<std::string_view> Lines(std::string_view text)
    {
        std::vector<std::string_view> lines;
        size_t begin = 0;
        for (size_t i = 0; i < text.size(); i++)
        {
            if (text[i] != '\n' && text[i] != '\r')
                continue;
            lines.push_back(text.substr(begin, i - begin));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                i++;
            begin = i + 1;
        }
        if (begin < text.size())
            lines.push_back(text.substr(begin));
        return lines;
    }

    // Every field, empty ones included: a cookie without a value ends in a tab.
    std::vector<std::string_view> Fields(std::string_view line)
    {
        std::vector<std::string_view> fields;
        size_t begin = 0;
        for (size_t tab = line.find('\t'); tab != std::string_view::npos; tab = line.find('\t', begin))
        {
            fields.push_back(line.substr(begin, tab - begin));
            begin = tab + 1;
        }
        fields.push_back(line.substr(begin));
        return fields;
    }

    std::string_view Trimmed(std::string_view text)
    {
        const size_t first = text.find_first_not_of(" \t");
        if (first == std::string_view::npos)
            return {};
        return text.substr(first, text.find_last_not_of(" \t") - first + 1);
    }

    bool IsFlag(std::string_view field)
    {
        return field == "TRUE" || field == "FALSE";
    }

    bool IsDigits(std::string_view field)
    {
        return field.find_first_not_of("0123456789") == std::string_view::npos;
    }

    // Empty when `line` (number `number`, counted from 1) is a cookie the downloader takes.
    std::string CookieLineProblem(std::string_view line, size_t number)
    {
        const std::string which = "Line " + std::to_string(number) + " of the cookies text ";
        const std::vector<std::string_view> fields = Fields(line);
        if (fields.size() != 7)
            return which + "has " + std::to_string(fields.size()) +
                   (fields.size() == 1 ? " field" : " fields") +
                   "; a cookie line has 7, separated by tabs: domain, subdomains, path, secure, expiry, name, "
                   "value.";
        const std::string_view domain = fields[0];
        if (domain.empty())
            return which + "names no domain.";
        // The downloader refuses the whole file when this flag and the domain disagree.
        if (!IsFlag(fields[1]) || (fields[1] == "TRUE") != (domain.front() == '.'))
            return which + "must have TRUE in its second field when the domain begins with a dot, and FALSE "
                           "otherwise.";
        if (!IsFlag(fields[3]))
            return which + "must have TRUE or FALSE in its fourth field (secure).";
        if (!IsDigits(fields[4]))
            return which + "must have a whole number of seconds, or nothing, in its fifth field (expiry).";
        return "";
    }
}

std::string Cookies::Check(const std::string& whole)
{
    if (whole.empty())
        return "The cookies text is empty.";
    if (whole.size() > maxSize)
        return "The cookies text is larger than 1 MiB.";
    if (!IsUtf8(whole))
        return "The cookies text is not UTF-8 text.";
    if (HasControlCharacters(whole))
        return "The cookies text holds control characters other than tabs and line ends.";

    const std::string_view text = WithoutByteOrderMark(whole);
    const std::string_view start = Trimmed(text.substr(0, text.find_first_of("\r\n")));
    if (!start.empty() && (start.front() == '[' || start.front() == '{'))
        return "The cookies text is JSON; export the cookies as a Netscape cookies.txt instead.";

    const std::vector<std::string_view> lines = Lines(text);
    const std::string_view header = lines.empty() ? std::string_view() : lines.front();
    if (header.rfind("# Netscape HTTP Cookie File", 0) != 0 && header.rfind("# HTTP Cookie File", 0) != 0)
        return "The cookies text does not begin with the line \"# Netscape HTTP Cookie File\" that marks a "
               "Netscape cookies.txt.";

    size_t cookieCount = 0;
    for (size_t i = 1; i < lines.size(); i++)
    {
        std::string_view line = lines[i];
        // "#HttpOnly_" marks a cookie, not a comment.
        constexpr std::string_view httpOnly = "#HttpOnly_";
        if (line.substr(0, httpOnly.size()) == httpOnly)
            line.remove_prefix(httpOnly.size());
        const std::string_view trimmed = Trimmed(line);
        if (trimmed.empty() || trimmed.front() == '#' || trimmed.front() == '$')
            continue;

        const std::string problem = CookieLineProblem(line, i + 1);
        if (!problem.empty())
            return problem;
        cookieCount++;
    }
    if (cookieCount == 0)
        return "The cookies text holds no cookie.";
    return "";
}

std::string Cookies::Set(const std::string& text)
{
    const std::string problem = Check(text);
    if (!problem.empty())
        return problem;
    if (!FileSystem::WriteFile(FileLayout::cookiesFile, std::string(WithoutByteOrderMark(text)), 0600))
        return "The cookies could not be saved in the working directory.";
    return "";
}

bool Cookies::Clear()
{
    return FileSystem::Delete(FileLayout::cookiesFile);
}

bool Cookies::IsSet()
{
    return FileSystem::Exists(FileLayout::cookiesFile);
}

bool Cookies::CopyForRun(const std::string& destination)
{
    std::ifstream in(FileLayout::cookiesFile, std::ios::binary);
    if (!in.is_open())
        return false;
    std::ostringstream text;
    text << in.rdbuf();
    return FileSystem::WriteFile(destination, text.str(), 0600);
}
