#include "config/PathRules.h"
#include <algorithm>
#include <filesystem>
#include <unistd.h>
#include "app/FileSystem.h"
#include "json/StringHelpers.h"

namespace fs = std::filesystem;

namespace
{
    bool IsPlainRelativePath(const std::string& path)
    {
        if (path.empty() || path.front() == '/' || path.find('\0') != std::string::npos)
            return false;
        const std::vector<std::string> segments = Ostrel::Internal::StringHelpers::SplitString(path, '/');
        return std::none_of(segments.begin(), segments.end(), [](const std::string& segment) {
            return segment.empty() || segment == "." || segment == "..";
        });
    }

    std::string TouchedPlace(const std::string& real, const std::vector<PathRules::OwnPlace>& ownPlaces)
    {
        for (const PathRules::OwnPlace& place : ownPlaces)
        {
            const std::string other = FileSystem::RealLocation(place.path);
            if (!other.empty() && (FileSystem::IsWithin(real, other) || FileSystem::IsWithin(other, real)))
                return "The path would touch " + place.what + " \"" + place.path + "\".";
        }
        return "";
    }
}

std::string PathRules::Refusal(const std::string& value, const std::vector<OwnPlace>& ownPlaces)
{
    if (!IsPlainRelativePath(value))
        return "The path must be relative to the working directory and made of plain names (no \"..\", \".\", "
               "leading \"/\" or empty parts).";

    const std::string workingDirectory = FileSystem::RealLocation(".");
    const std::string real = FileSystem::RealLocation(value);
    if (real.empty() || workingDirectory.empty() || real == workingDirectory ||
        !FileSystem::IsWithin(real, workingDirectory))
        return "The path leads outside the server's working directory (symbolic links followed).";

    return TouchedPlace(real, ownPlaces);
}

std::string PathRules::UserDirectoryRefusal(const std::string& value, const std::vector<OwnPlace>& ownPlaces)
{
    if (value.empty())
        return "";
    std::error_code error;
    if (value.find('\0') != std::string::npos || !fs::exists(value, error))
        return "The directory does not exist.";
    if (!FileSystem::ExistsDirectory(value))
        return "The path is not a directory.";
    if (access(value.c_str(), W_OK | X_OK) != 0)
        return "The server cannot write to the directory.";
    return TouchedPlace(FileSystem::RealLocation(value), ownPlaces);
}

std::string PathRules::UserFileRefusal(const std::string& value, const std::vector<OwnPlace>& ownPlaces)
{
    if (value.empty())
        return "";
    std::error_code error;
    if (value.find('\0') != std::string::npos || !fs::exists(value, error))
        return "The file does not exist.";
    if (!fs::is_regular_file(value, error))
        return "The path is not a regular file.";
    if (access(value.c_str(), R_OK) != 0)
        return "The server cannot read the file.";
    return TouchedPlace(FileSystem::RealLocation(value), ownPlaces);
}
