#include "library/SubtitleFiles.h"
#include <filesystem>
#include "library/FilePlacer.h"

using namespace Library;
namespace fs = std::filesystem;

std::string SubtitleFiles::PlaceBeside(const std::string& cachedFile, const std::string& libraryFile)
{
    const fs::path cached(cachedFile);
    const std::string prefix = cached.stem().string() + ".";
    const std::string suffix = ".srt";
    const fs::path library(libraryFile);
    const std::string stem = (library.parent_path() / library.stem()).string();
    std::string problems;
    std::error_code error;
    for (const fs::directory_entry& item : fs::directory_iterator(cached.parent_path(), error))
    {
        const std::string name = item.path().filename().string();
        if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix))
            continue;
        const std::string language = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        const std::string problem = FilePlacer::PlaceBeside(item.path().string(), stem + "." + language + suffix);
        if (!problem.empty())
            problems += (problems.empty() ? "" : " ") + problem;
    }
    return problems;
}
