#include "downloader/DownloaderVersions.h"
#include <atomic>
#include <memory>
#include <sys/stat.h>
#include <thread>

using namespace Downloader;

namespace
{
    // A program file as it is now: a new version in its place, by rename or by a package
    // manager, has another inode, size or modification time.
    struct FileState
    {
        std::string path;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedNanoseconds = 0;

        bool operator==(const FileState&) const = default;
    };

    FileState StateOf(const std::string& path)
    {
        FileState state;
        state.path = path;
        struct stat info{};
        if (stat(path.c_str(), &info) == 0)
        {
            state.inode = info.st_ino;
            state.size = info.st_size;
            state.modifiedNanoseconds = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
        }
        return state;
    }

    struct Lookup
    {
        FileState file;
        std::atomic<bool> stop = false;
        std::atomic<bool> ended = false;
        std::string version;  // written by the lookup's thread before `ended`
        std::thread thread;
    };

    std::unique_ptr<Lookup> running;
    std::optional<std::pair<FileState, std::string>> known;
    bool stopped = false;
}

std::optional<DownloaderProgramInfo> DownloaderVersions::Describe()
{
    DownloaderProgramInfo program = DownloaderProgram::Find();
    if (program.path.empty())
        return program;
    const FileState file = StateOf(program.path);

    if (running && running->ended)
    {
        running->thread.join();
        known.emplace(running->file, running->version);
        running.reset();
    }
    if (known && known->first == file)
    {
        program.version = known->second;
        return program;
    }
    if (stopped)
        return program;
    if (!running)
    {
        running = std::make_unique<Lookup>();
        running->file = file;
        Lookup* lookup = running.get();
        lookup->thread = std::thread([lookup] {
            lookup->version = DownloaderProgram::VersionOf(lookup->file.path, &lookup->stop);
            lookup->ended = true;
        });
    }
    return std::nullopt;
}

void DownloaderVersions::Stop()
{
    stopped = true;
    if (!running)
        return;
    running->stop = true;
    running->thread.join();
    running.reset();
}

void DownloaderVersions::Reset()
{
    Stop();
    known.reset();
    stopped = false;
}
