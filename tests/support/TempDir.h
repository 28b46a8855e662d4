#pragma once
#include <string>

namespace TestSupport
{
    // A fresh directory under /tmp, removed with everything in it on destruction.
    // With `enter` set, the process works inside it until destruction, as the server
    // works inside its own working directory.
    class TempDir
    {
    public:
        explicit TempDir(bool enter = false);
        ~TempDir();
        TempDir(const TempDir&) = delete;
        TempDir& operator=(const TempDir&) = delete;

        const std::string& Path() const { return path; }
        std::string operator/(const std::string& name) const { return path + "/" + name; }

    private:
        std::string path;
        std::string previousWorkingDirectory;
    };

    // Writes `content` to `path` byte for byte (test set-up, not the code under test).
    void WriteRaw(const std::string& path, const std::string& content);
    // Reads the whole file byte for byte; empty when it cannot be opened.
    std::string ReadRaw(const std::string& path);
}
