#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace BenchSupport
{
    // A fresh directory under the system's temporary directory that the process works in
    // while the object lives, as the server works in its own; removed afterwards.
    class ScratchDirectory
    {
    public:
        ScratchDirectory() : previous(std::filesystem::current_path())
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "pelko-bench-XXXXXX").string();
            path = mkdtemp(pattern.data());
            std::filesystem::current_path(path);
        }
        ~ScratchDirectory()
        {
            std::filesystem::current_path(previous);
            std::filesystem::remove_all(path);
        }
        ScratchDirectory(const ScratchDirectory&) = delete;
        ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    private:
        std::filesystem::path previous;
        std::filesystem::path path;
    };
}
