#pragma once
#include <cstdint>
#include <string>
#include <sys/types.h>

// Whole-file and directory helpers shared by every subsystem. Relative paths are
// taken against the working directory. Stateless.
class FileSystem
{
public:
    // The file's text with every '\n' removed; throws std::runtime_error, saying which file, when
    // it cannot be opened.
    static std::string ReadFile(std::string path);
    // Every byte of the file, line ends included, into `content`; false, with errno saying why,
    // when it cannot be read.
    static bool ReadBytes(const std::string& path, std::string& content);

    // Replaces the file atomically: a crash leaves either the old or the new content, never
    // a mix. False (and nothing created) when the file cannot be written, e.g. a missing
    // directory or a full disk; errno then says why.
    static bool WriteFile(std::string path, std::string content);
    // Replaces the file, as atomically as WriteFile, by its own first `keptBytes` bytes followed by
    // `content`; the kept bytes are copied without passing through memory. False, with the file
    // unchanged, when it is missing, shorter, or cannot be written.
    static bool WriteFileKeepingPrefix(std::string path, uint64_t keptBytes, std::string content);
    // The same, but the file gets exactly `mode` from its creation on, whatever the old file
    // had: a file meant for its owner alone is never readable by others, not even half-written.
    static bool WriteFile(std::string path, std::string content, mode_t mode);
    // Adds `content` to the end of the file (created when missing) and flushes it to the disk;
    // what was there stays untouched. False when it cannot be written.
    static bool AppendToFile(const std::string& path, const std::string& content);

    static bool Exists(std::string path);           // true when the path can be opened for reading
    static bool ExistsDirectory(std::string path);  // true when a directory is at the path

    // Create the directory with every missing parent; true when something was created.
    // File system failures (permissions, a file in the way) throw std::filesystem::filesystem_error.
    static bool _CreateDirectory(std::string path);
    static bool CreateDirectoryIfNotExists(std::string path);

    // Removes the path and everything below it; true when anything was removed.
    static bool DeleteDirectory(std::string path);

    // Copies the bytes of `source` over `destination`. Always true: a missing source
    // leaves an empty destination (the config save's backup step relies on this).
    static bool Copy(std::string source, std::string destination);

    // Removes the file; true when it existed.
    static bool Delete(std::string path);

    // Apparent size in bytes of a file or of a whole tree, counted as `du -sb` counts it
    // (directory entries included, hard links once, a link at `path` itself followed); -1 when
    // the path does not exist.
    // `isDirectory` is accepted for the callers' clarity; both kinds are measured alike.
    static int64_t CalculateSize(std::string path, bool isDirectory);

    // The absolute location `path` really names: symlinks resolved in every part that exists,
    // the rest taken as written. Empty when it cannot be determined.
    static std::string RealLocation(std::string path);
    // True when the absolute, normalised path `inner` is `outer` itself or lies below it.
    static bool IsWithin(const std::string& inner, const std::string& outer);
};
