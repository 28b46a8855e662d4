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

    // The version of one program file, found on a thread of its own and kept while the file
    // stays the same.
    class VersionLookup
    {
    public:
        explicit VersionLookup(std::string (*versionOf)(const std::string&, const std::atomic<bool>*))
            : versionOf(versionOf)
        {
        }

        // The version of the file at `path`; nothing while it is being found out. Once stopped,
        // an empty one when it is not known yet.
        std::optional<std::string> Of(const std::string& path)
        {
            const FileState file = StateOf(path);
            if (running && running->ended)
            {
                running->thread.join();
                known.emplace(running->file, running->version);
                running.reset();
            }
            if (known && known->first == file)
                return known->second;
            if (stopped)
                return "";
            if (!running)
            {
                running = std::make_unique<Running>();
                running->file = file;
                Running* lookup = running.get();
                lookup->thread = std::thread([lookup, versionOf = versionOf] {
                    lookup->version = versionOf(lookup->file.path, &lookup->stop);
                    lookup->ended = true;
                });
            }
            return std::nullopt;
        }

        void Stop()
        {
            stopped = true;
            if (!running)
                return;
            running->stop = true;
            running->thread.join();
            running.reset();
        }

        void Reset()
        {
            Stop();
            known.reset();
            stopped = false;
        }

    private:
        struct Running
        {
            FileState file;
            std::atomic<bool> stop = false;
            std::atomic<bool> ended = false;
            std::string version;  // written by the lookup's thread before `ended`
            std::thread thread;
        };

        std::string (*versionOf)(const std::string&, const std::atomic<bool>*);
        std::unique_ptr<Running> running;
        std::optional<std::pair<FileState, std::string>> known;
        bool stopped = false;
    };

    VersionLookup programVersions(&DownloaderProgram::VersionOf);
    VersionLookup runtimeVersions([](const std::string& path, const std::atomic<bool>* stop) {
        return DownloaderProgram::RuntimeVersion(DownloaderProgram::VersionOf(path, stop));
    });
}

std::optional<DownloaderProgramInfo> DownloaderVersions::Describe()
{
    DownloaderProgramInfo program = DownloaderProgram::Find();
    // Both lookups start at once.
    const std::optional<std::string> version = program.path.empty() ? "" : programVersions.Of(program.path);
    const std::optional<std::string> runtimeVersion =
        program.jsRuntime.empty() ? "" : runtimeVersions.Of(program.jsRuntime);
    if (!version || !runtimeVersion)
        return std::nullopt;
    program.version = *version;
    program.jsRuntimeVersion = *runtimeVersion;
    return program;
}

void DownloaderVersions::Stop()
{
    programVersions.Stop();
    runtimeVersions.Stop();
}

void DownloaderVersions::Reset()
{
    programVersions.Reset();
    runtimeVersions.Reset();
}
