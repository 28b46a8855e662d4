#include "app/FileSystem.h"
#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{
    // The whole stream in one string sized once: a string grown while reading holds twice a
    // large file for a moment (the history and the log are tens of megabytes).
    bool ReadWhole(std::ifstream& in, std::string& content)
    {
        content.clear();
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.clear();
        in.seekg(0, std::ios::beg);
        if (size > 0)
        {
            content.resize(static_cast<size_t>(size));
            in.read(content.data(), size);
            content.resize(static_cast<size_t>(in.gcount()));
            in.clear(in.rdstate() & std::ios::badbit);
        }
        // Whatever the size did not tell (a file that grew, one of /proc).
        content.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return !in.bad();
    }
}

std::string FileSystem::ReadFile(std::string path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        throw std::runtime_error("Unable to read the file \"" + path + "\".");

    std::string result;
    ReadWhole(in, result);
    result.erase(std::remove(result.begin(), result.end(), '\n'), result.end());
    return result;
}

bool FileSystem::ReadBytes(const std::string& path, std::string& content)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        return false;
    if (!ReadWhole(in, content))
    {
        errno = errno == 0 ? EIO : errno;
        return false;
    }
    return true;
}

namespace
{
    bool WriteAll(int fd, const std::string& content)
    {
        size_t written = 0;
        while (written < content.size())
        {
            const ssize_t n = write(fd, content.data() + written, content.size() - written);
            if (n < 0)
            {
                if (errno == EINTR)
                    continue;
                return false;
            }
            written += static_cast<size_t>(n);
        }
        return true;
    }

    // Makes a finished rename survive a power loss as well.
    void SyncDirectoryOf(const std::string& path)
    {
        fs::path parent = fs::path(path).parent_path();
        if (parent.empty())
            parent = ".";
        const int dirFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0)
        {
            fsync(dirFd);
            close(dirFd);
        }
    }
}

namespace
{
    // Writes a temporary file beside `path` with `fill`, makes it durable and renames it over
    // `path`: a crash leaves the old or the new file. Nothing is left behind on failure. Without
    // `mode`, the new file keeps the permissions of the one it replaces.
    template <typename Fill>
    bool ReplaceAtomically(const std::string& path, std::optional<mode_t> mode, Fill fill)
    {
        static std::atomic<unsigned long> counter{0};
        const std::string temporary = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter++);

        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode.value_or(0666));
        if (fd < 0)
            return false;

        struct stat previous{};
        if (mode)
            fchmod(fd, *mode);
        else if (stat(path.c_str(), &previous) == 0)
            fchmod(fd, previous.st_mode & 07777);

        const bool written = fill(fd) && fsync(fd) == 0;
        const bool closed = close(fd) == 0;
        if (!written || !closed || rename(temporary.c_str(), path.c_str()) != 0)
        {
            // The caller reports why; the clean-up must not change the reason.
            const int reason = errno;
            unlink(temporary.c_str());
            errno = reason;
            return false;
        }
        SyncDirectoryOf(path);
        return true;
    }

    // Copies the first `length` bytes of `source` to `fd`, in the kernel where it can.
    bool CopyPrefix(const std::string& source, int fd, uint64_t length)
    {
        const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
        if (in < 0)
            return false;
        struct stat info{};
        bool ok = fstat(in, &info) == 0 && static_cast<uint64_t>(info.st_size) >= length;
        while (ok && length > 0)
        {
            const ssize_t n = copy_file_range(in, nullptr, fd, nullptr, length, 0);
            if (n < 0 && errno == EINTR)
                continue;
            ok = n > 0;
            if (ok)
                length -= static_cast<uint64_t>(n);
        }
        close(in);
        return ok;
    }
}

bool FileSystem::WriteFile(std::string path, std::string content)
{
    return ReplaceAtomically(path, std::nullopt, [&content](int fd) { return WriteAll(fd, content); });
}

bool FileSystem::WriteFile(std::string path, std::string content, mode_t mode)
{
    return ReplaceAtomically(path, mode, [&content](int fd) { return WriteAll(fd, content); });
}

bool FileSystem::AppendToFile(const std::string& path, const std::string& content)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = WriteAll(fd, content) && fsync(fd) == 0;
    return close(fd) == 0 && written;
}

bool FileSystem::WriteFileKeepingPrefix(std::string path, uint64_t keptBytes, std::string content)
{
    return ReplaceAtomically(path, std::nullopt,
                             [&](int fd) { return CopyPrefix(path, fd, keptBytes) && WriteAll(fd, content); });
}

bool FileSystem::Exists(std::string path)
{
    std::ifstream in(path);
    return in.is_open();
}

bool FileSystem::ExistsDirectory(std::string path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

bool FileSystem::_CreateDirectory(std::string path)
{
    return fs::create_directories(path);
}

bool FileSystem::CreateDirectoryIfNotExists(std::string path)
{
    if (ExistsDirectory(path))
        return false;
    return _CreateDirectory(path);
}

bool FileSystem::DeleteDirectory(std::string path)
{
    return fs::remove_all(path) > 0;
}

bool FileSystem::Copy(std::string source, std::string destination)
{
    std::ifstream in(source, std::ios::binary);
    std::ofstream out(destination, std::ios::binary | std::ios::trunc);
    if (in.is_open() && out.is_open())
        out << in.rdbuf();
    return true;
}

bool FileSystem::Delete(std::string path)
{
    if (!Exists(path))
        return false;
    std::remove(path.c_str());
    return true;
}

int64_t FileSystem::CalculateSize(std::string path, bool)
{
    // A linked directory (a cache moved to another disk) is measured where it lies; links below
    // it are counted as links, so nothing outside it is reached.
    struct stat root{};
    if (stat(path.c_str(), &root) != 0)
        return -1;

    int64_t total = root.st_size;
    if (!S_ISDIR(root.st_mode))
        return total;

    // Like du, a file reachable through several hard links counts once.
    std::set<std::pair<dev_t, ino_t>> seenLinks;
    std::error_code error;
    fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
    {
        struct stat entry{};
        if (lstat(it->path().c_str(), &entry) != 0)
            continue;
        if (!S_ISDIR(entry.st_mode) && entry.st_nlink > 1 && !seenLinks.insert({entry.st_dev, entry.st_ino}).second)
            continue;
        total += entry.st_size;
    }
    return total;
}

std::string FileSystem::RealLocation(std::string path)
{
    constexpr int maxLinksFollowed = 40;  // as the kernel allows; more means a loop
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (error)
        return "";

    // Walked part by part, so that ".." applies to where a link really led and a link whose
    // target does not exist yet is followed as well: writing through it would create the target.
    std::deque<fs::path> pending(absolute.begin(), absolute.end());
    fs::path resolved = "/";
    int linksFollowed = 0;
    while (!pending.empty())
    {
        const fs::path part = pending.front();
        pending.pop_front();
        if (part.empty() || part == "." || part == "/")
            continue;
        if (part == "..")
        {
            resolved = resolved.parent_path();
            continue;
        }
        const fs::path candidate = resolved / part;
        struct stat info{};
        if (lstat(candidate.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        {
            resolved = candidate;
            continue;
        }
        if (++linksFollowed > maxLinksFollowed)
            return "";
        const fs::path target = fs::read_symlink(candidate, error);
        if (error)
            return "";
        if (target.is_absolute())
            resolved = "/";
        pending.insert(pending.begin(), target.begin(), target.end());
    }
    return resolved.string();
}

bool FileSystem::IsWithin(const std::string& inner, const std::string& outer)
{
    auto parts = [](const std::string& path) {
        std::vector<std::string> result;
        for (const fs::path& part : fs::path(path).lexically_normal())
            if (!part.empty())
                result.push_back(part.string());
        return result;
    };
    const std::vector<std::string> innerParts = parts(inner);
    const std::vector<std::string> outerParts = parts(outer);
    return outerParts.size() <= innerParts.size() &&
           std::equal(outerParts.begin(), outerParts.end(), innerParts.begin());
}
