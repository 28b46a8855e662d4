#pragma once
#include <string>
#include <vector>

// Where a client may point a path setting. A client that could name any path could make
// the cache clear delete the front end or the settings, or a log file overwrite config.json
// or plant a script in the page; symbolic links are followed, so a link cannot hide that.
class PathRules
{
public:
    // A file or folder of the server's own.
    struct OwnPlace
    {
        std::string what;  // "the download cache directory"
        std::string path;  // as configured, relative to the working directory or absolute
    };

    // Empty when `value` may be set; otherwise a sentence saying why not. A path must be
    // relative, of plain names, lead strictly inside the working directory when every link
    // on the way is followed, and neither be, hold, nor lie inside any of `ownPlaces`.
    static std::string Refusal(const std::string& value, const std::vector<OwnPlace>& ownPlaces);
    // The same for a directory of the user's that may lie anywhere: empty (none), or an existing
    // directory the server can write to that neither is, holds, nor lies inside any of `ownPlaces`.
    static std::string UserDirectoryRefusal(const std::string& value, const std::vector<OwnPlace>& ownPlaces);
    // The same for a file of the user's that the server only reads: empty (none), or an existing
    // regular file the server can read that is none of `ownPlaces` and lies inside none of them.
    static std::string UserFileRefusal(const std::string& value, const std::vector<OwnPlace>& ownPlaces);
};
