#pragma once
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct MHD_Connection;

namespace Rest
{
    // Serves the files of one directory tree as a careful static web server does: no
    // path leads outside the tree (symlinks included), directories show their
    // index.html and never a listing, and files are streamed from disk.
    class StaticFileServer
    {
    public:
        using Headers = std::vector<std::pair<std::string, std::string>>;

        // Where a request path leads.
        struct Resolution
        {
            unsigned int status = 404;  // 200: serve `file`; 301: redirect to `location`; 403; 404
            std::string file;
            std::string location;
        };

        // Keeps its own copy of the root: a later change of the setting applies from the next start.
        // `privateFiles` are never served, whatever path leads to them (a root set by hand to the
        // working directory holds the server's own files).
        explicit StaticFileServer(std::string documentRoot = "", std::vector<std::string> privateFiles = {});

        // Answers the request for `rawPath`, the path as the client sent it (without query).
        void Serve(MHD_Connection* connection, const std::string& rawPath) const;
        Resolution Resolve(const std::string& rawPath) const;

        // Streams the file at `path` with status 200, the given content type and extra
        // headers (HEAD: headers only). With `servesRanges` it says "Accept-Ranges: bytes",
        // and a request for one byte range (ByteRange) gets 206 with that part, or 416 with
        // no body when the range starts beyond the end. False, with nothing sent, when it is
        // not a readable regular file: the caller chooses that answer.
        static bool ServeFile(MHD_Connection* connection, const std::string& path, const std::string& contentType,
                              const Headers& extraHeaders, bool servesRanges = false);

        // By extension, case-insensitive; "application/octet-stream" for anything unknown.
        static std::string ContentTypeOf(const std::string& path);

        // Decodes every "%XX" once; false for a '%' not followed by two hex digits.
        static bool PercentDecode(const std::string& text, std::string& decoded);

    private:
        std::string documentRoot;
        // Where the root leads, looked up once it exists.
        mutable std::filesystem::path canonicalRoot;
        std::vector<std::string> privateFiles;
    };
}
