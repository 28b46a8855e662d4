#include "support/TempDir.h"
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace TestSupport
{
    TempDir::TempDir(bool enter)
    {
        char pattern[] = "/tmp/pelko-test-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path = pattern;
        if (enter)
        {
            previousWorkingDirectory = std::filesystem::current_path();
            std::filesystem::current_path(path);
        }
    }

    TempDir::~TempDir()
    {
        std::error_code ignored;
        if (!previousWorkingDirectory.empty())
            std::filesystem::current_path(previousWorkingDirectory, ignored);
        std::filesystem::remove_all(path, ignored);
    }

    void WriteRaw(const std::string& path, const std::string& content)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << content;
    }

    std::string ReadRaw(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }
}
