#include "rest/StaticFileServer.h"
#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <microhttpd.h>
#include <sys/stat.h>
#include <unistd.h>
#include "json/StringHelpers.h"
#include "rest/ByteRange.h"

using namespace Rest;
namespace fs = std::filesystem;

namespace
{
    bool IsInside(const fs::path& root, const fs::path& target)
    {
        return std::mismatch(root.begin(), root.end(), target.begin(), target.end()).first == root.end();
    }

    // A path naming its way out with "." or "..", or written in another system's
    // notation, names nothing here.
    bool HasForbiddenPart(const std::string& path)
    {
        if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos ||
            path.find('\\') != std::string::npos)
            return true;

        const std::vector<std::string> segments = Ostrel::Internal::StringHelpers::SplitString(path, '/');
        return std::any_of(segments.begin(), segments.end(),
                           [](const std::string& segment) { return segment == "." || segment == ".."; });
    }

    // `relative` below the canonical `root` as fs::canonical resolves it, and the stat of what
    // it names; false when that does not exist. A path without links costs one lstat per name.
    bool ResolveBelow(const fs::path& root, const std::string& relative, fs::path& target, struct stat& info)
    {
        target = root;
        bool named = false;
        for (const std::string& name : Ostrel::Internal::StringHelpers::SplitString(relative, '/'))
        {
            if (name.empty())
                continue;
            target /= name;
            if (lstat(target.c_str(), &info) != 0)
                return false;
            if (S_ISLNK(info.st_mode))
            {
                std::error_code error;
                const size_t first = std::min(relative.find_first_not_of('/'), relative.size());
                target = fs::canonical(root / relative.substr(first), error);
                return !error && stat(target.c_str(), &info) == 0;
            }
            named = true;
        }
        return named || stat(target.c_str(), &info) == 0;
    }

    int HexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    // A short plain text reply, as static servers give for their errors and redirects.
    void SendStatus(MHD_Connection* connection, unsigned int status, const std::string& location = "")
    {
        const std::string text = std::to_string(status) + " " + MHD_get_reason_phrase_for(status) + "\n";
        MHD_Response* response =
            MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain");
        if (!location.empty())
            MHD_add_response_header(response, MHD_HTTP_HEADER_LOCATION, location.c_str());
        MHD_queue_response(connection, status, response);
        MHD_destroy_response(response);
    }
}

StaticFileServer::StaticFileServer(std::string documentRoot, std::vector<std::string> privateFiles)
    : documentRoot(std::move(documentRoot)), privateFiles(std::move(privateFiles))
{
}

StaticFileServer::Resolution StaticFileServer::Resolve(const std::string& rawPath) const
{
    Resolution result;
    std::string path;
    if (!PercentDecode(rawPath, path) || HasForbiddenPart(path))
        return result;

    std::error_code error;
    if (canonicalRoot.empty())
        canonicalRoot = fs::canonical(documentRoot, error);
    if (error)
        return result;
    const fs::path& root = canonicalRoot;
    fs::path target;
    struct stat info{};
    if (!ResolveBelow(root, path, target, info) || !IsInside(root, target))
        return result;
    if (path.back() == '/' && !S_ISDIR(info.st_mode))
        return result;  // only a directory ends in a slash

    if (S_ISDIR(info.st_mode))
    {
        // Relative links inside the index only work below the directory's own path. The
        // address stays a path of this site: "//js" would name another host.
        if (path.back() != '/')
            return {301, "", "/" + rawPath.substr(rawPath.find_first_not_of('/')) + "/"};
        const fs::path directory = target;
        if (!ResolveBelow(directory, "index.html", target, info))
            return {403, "", ""};
        if (!IsInside(root, target))
            return result;
        if (!S_ISREG(info.st_mode))
            return {403, "", ""};
    }
    else if (!S_ISREG(info.st_mode))
        return result;
    for (const std::string& hidden : privateFiles)
    {
        struct stat other{};
        if (stat(hidden.c_str(), &other) == 0 && other.st_dev == info.st_dev && other.st_ino == info.st_ino)
            return result;
    }
    return {200, target.string(), ""};
}

void StaticFileServer::Serve(MHD_Connection* connection, const std::string& rawPath) const
{
    const Resolution resolution = Resolve(rawPath);
    if (resolution.status != 200)
        SendStatus(connection, resolution.status, resolution.location);
    else if (!ServeFile(connection, resolution.file, ContentTypeOf(resolution.file), {}))
        SendStatus(connection, MHD_HTTP_NOT_FOUND);
}

bool StaticFileServer::ServeFile(MHD_Connection* connection, const std::string& path, const std::string& contentType,
                                 const Headers& extraHeaders, bool servesRanges)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info{};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    {
        if (fd >= 0)
            close(fd);
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);

    // A client that names a version of the file (If-Range) cannot be told this is it: whole file.
    const char* rangeHeader = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_RANGE);
    const bool conditional =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_IF_RANGE) != nullptr;
    const ByteRange range = servesRanges && rangeHeader != nullptr && !conditional
                                ? ByteRange::Parse(rangeHeader, size)
                                : ByteRange{ByteRange::WHOLE, 0, size};

    // The response owns the descriptor; the library sends the file from it (with sendfile).
    MHD_Response* response = nullptr;
    unsigned int status = MHD_HTTP_OK;
    if (range.kind == ByteRange::UNSATISFIABLE)
    {
        close(fd);
        response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        status = MHD_HTTP_RANGE_NOT_SATISFIABLE;
    }
    else
    {
        const uint64_t first = range.kind == ByteRange::PART ? range.first : 0;
        const uint64_t length = range.kind == ByteRange::PART ? range.length : size;
        response = MHD_create_response_from_fd_at_offset64(length, fd, first);
        if (response == nullptr)
            close(fd);
        if (range.kind == ByteRange::PART)
            status = MHD_HTTP_PARTIAL_CONTENT;
    }
    if (response == nullptr)
    {
        SendStatus(connection, MHD_HTTP_INTERNAL_SERVER_ERROR);
        return true;
    }

    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType.c_str());
    for (const auto& [name, value] : extraHeaders)
        MHD_add_response_header(response, name.c_str(), value.c_str());
    if (servesRanges)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ACCEPT_RANGES, "bytes");
    if (range.kind != ByteRange::WHOLE)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_RANGE, range.ContentRange(size).c_str());
    MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return true;
}

std::string StaticFileServer::ContentTypeOf(const std::string& path)
{
    static const std::map<std::string, std::string> types = {
        {"html", "text/html; charset=utf-8"},
        {"css", "text/css; charset=utf-8"},
        {"js", "text/javascript; charset=utf-8"},
        {"mjs", "text/javascript; charset=utf-8"},
        {"json", "application/json"},
        {"webmanifest", "application/manifest+json"},
        {"svg", "image/svg+xml"},
        {"png", "image/png"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"webp", "image/webp"},
        {"ico", "image/x-icon"},
        {"woff", "font/woff"},
        {"woff2", "font/woff2"},
        {"txt", "text/plain; charset=utf-8"},
        {"mp3", "audio/mpeg"},
        {"mp4", "video/mp4"},
    };

    const std::string name = fs::path(path).filename().string();
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return "application/octet-stream";
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto found = types.find(extension);
    return found == types.end() ? "application/octet-stream" : found->second;
}

bool StaticFileServer::PercentDecode(const std::string& text, std::string& decoded)
{
    decoded.clear();
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            decoded += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}
