#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include "app/FileSystem.h"
#include "support/TempDir.h"

using TestSupport::ReadRaw;
using TestSupport::TempDir;
using TestSupport::WriteRaw;
namespace fs = std::filesystem;

namespace
{
    // Runs `command` without a shell and returns what it printed (test oracle only).
    std::string RunAndCapture(const std::vector<std::string>& argv)
    {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            return "";
        const pid_t pid = fork();
        if (pid == 0)
        {
            dup2(pipeFds[1], STDOUT_FILENO);
            close(pipeFds[0]);
            std::vector<char*> args;
            for (const std::string& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
        close(pipeFds[1]);
        std::string output;
        char buffer[256];
        ssize_t n;
        while ((n = read(pipeFds[0], buffer, sizeof(buffer))) > 0)
            output.append(buffer, static_cast<size_t>(n));
        close(pipeFds[0]);
        waitpid(pid, nullptr, 0);
        return output;
    }

    std::vector<std::string> DirectoryListing(const std::string& path)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
}

struct ReadCase
{
    std::string stored;
    std::string expected;
};

class ReadFileTest : public ::testing::TestWithParam<ReadCase>
{
};

TEST_P(ReadFileTest, DropsLineFeedsOnly)
{
    TempDir dir;
    WriteRaw(dir / "f", GetParam().stored);
    EXPECT_EQ(FileSystem::ReadFile(dir / "f"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, ReadFileTest,
                         ::testing::Values(ReadCase{"a\nb\n", "ab"}, ReadCase{"a\r\nb", "a\rb"}, ReadCase{"", ""},
                                           ReadCase{"no line end", "no line end"}, ReadCase{"\n\n\n", ""},
                                           ReadCase{std::string("a\0b", 3), std::string("a\0b", 3)}));

TEST(FileSystem, ReadFileOfMissingFileThrows)
{
    TempDir dir;
    EXPECT_THROW(FileSystem::ReadFile(dir / "missing"), std::exception);
}

TEST(FileSystem, WriteFileIntoMissingDirectoryFailsAndCreatesNothing)
{
    TempDir dir;
    EXPECT_FALSE(FileSystem::WriteFile(dir / "nope/f.json", "{}"));
    EXPECT_FALSE(fs::exists(dir / "nope"));
    EXPECT_TRUE(DirectoryListing(dir.Path()).empty());
}

TEST(FileSystem, WriteFileOfEmptyContentLeavesEmptyFile)
{
    TempDir dir;
    ASSERT_TRUE(FileSystem::WriteFile(dir / "f", ""));
    EXPECT_TRUE(fs::exists(dir / "f"));
    EXPECT_EQ(fs::file_size(dir / "f"), 0u);
}

TEST(FileSystem, WriteFileReplacesContentAndKeepsPermissionsWithoutLeftovers)
{
    TempDir dir;
    WriteRaw(dir / "config.json", "old content that is longer than the new one");
    chmod((dir / "config.json").c_str(), 0640);

    ASSERT_TRUE(FileSystem::WriteFile(dir / "config.json", std::string("new\n\0x", 6)));

    EXPECT_EQ(ReadRaw(dir / "config.json"), std::string("new\n\0x", 6));
    EXPECT_EQ(fs::status(dir / "config.json").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(DirectoryListing(dir.Path()), std::vector<std::string>{"config.json"});
}

// The requested mode wins over both the replaced file's mode and the umask.
TEST(FileSystem, WriteFileWithModeGivesExactlyThatMode)
{
    TempDir dir;
    WriteRaw(dir / "cookies.txt", "old");
    chmod((dir / "cookies.txt").c_str(), 0644);
    const mode_t previousMask = umask(0);
    const bool privateWritten = FileSystem::WriteFile(dir / "cookies.txt", "secret", 0600);
    umask(077);
    const bool programWritten = FileSystem::WriteFile(dir / "program", "#!/bin/sh\n", 0755);
    umask(previousMask);

    ASSERT_TRUE(privateWritten);
    ASSERT_TRUE(programWritten);
    EXPECT_EQ(ReadRaw(dir / "cookies.txt"), "secret");
    EXPECT_EQ(fs::status(dir / "cookies.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(dir / "program").permissions() & fs::perms::all,
              fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                  fs::perms::others_exec);
    EXPECT_EQ(DirectoryListing(dir.Path()), (std::vector<std::string>{"cookies.txt", "program"}));
}

// A write that breaks off half-way (here: the file size limit, as a full disk would)
// must leave the previous file whole and no temporary file behind.
TEST(FileSystem, WriteFileThatFailsHalfWayLeavesOldFileIntact)
{
    TempDir dir;
    WriteRaw(dir / "index.json", "[\"the old index\"]");

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = FileSystem::WriteFile(dir / "index.json", std::string(100000, 'x'));
        _exit(written ? 1 : 0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "WriteFile reported success for a truncated write";
    EXPECT_EQ(ReadRaw(dir / "index.json"), "[\"the old index\"]");
    EXPECT_EQ(DirectoryListing(dir.Path()), std::vector<std::string>{"index.json"});
}

TEST(FileSystem, CopyFromMissingSourceSucceedsWithEmptyDestination)
{
    TempDir dir;
    EXPECT_TRUE(FileSystem::Copy(dir / "missing", dir / "backup"));
    EXPECT_TRUE(fs::exists(dir / "backup"));
    EXPECT_EQ(fs::file_size(dir / "backup"), 0u);
}

TEST(FileSystem, CopyDuplicatesBytes)
{
    TempDir dir;
    const std::string bytes("a\r\n\0\xff", 5);
    WriteRaw(dir / "src", bytes);
    WriteRaw(dir / "dst", "something longer that must go");
    EXPECT_TRUE(FileSystem::Copy(dir / "src", dir / "dst"));
    EXPECT_EQ(ReadRaw(dir / "dst"), bytes);
}

TEST(FileSystem, DeleteReportsWhetherTheFileExisted)
{
    TempDir dir;
    EXPECT_FALSE(FileSystem::Delete(dir / "missing"));
    WriteRaw(dir / "f", "x");
    EXPECT_TRUE(FileSystem::Delete(dir / "f"));
    EXPECT_FALSE(fs::exists(dir / "f"));
}

TEST(FileSystem, ExistenceTests)
{
    TempDir dir;
    WriteRaw(dir / "file", "x");
    EXPECT_TRUE(FileSystem::Exists(dir / "file"));
    EXPECT_FALSE(FileSystem::Exists(dir / "missing"));
    EXPECT_FALSE(FileSystem::ExistsDirectory(dir / "file"));
    EXPECT_TRUE(FileSystem::ExistsDirectory(dir.Path()));
    EXPECT_FALSE(FileSystem::ExistsDirectory(dir / "missing"));
}

TEST(FileSystem, CreateAndDeleteDirectoryTrees)
{
    TempDir dir;
    const std::string nested = dir / "a/b/c";
    EXPECT_TRUE(FileSystem::CreateDirectoryIfNotExists(nested));
    EXPECT_TRUE(fs::is_directory(nested));
    EXPECT_FALSE(FileSystem::CreateDirectoryIfNotExists(nested));
    EXPECT_FALSE(FileSystem::_CreateDirectory(nested));

    WriteRaw(nested + "/f", "x");
    EXPECT_TRUE(FileSystem::DeleteDirectory(dir / "a"));
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_FALSE(FileSystem::DeleteDirectory(dir / "a"));
}

TEST(FileSystem, CreatingADirectoryWhereAFileStandsThrows)
{
    TempDir dir;
    WriteRaw(dir / "f", "x");
    EXPECT_THROW(FileSystem::CreateDirectoryIfNotExists(dir / "f/sub"), fs::filesystem_error);
}

TEST(FileSystem, CalculateSizeOfFilesAndMissingPaths)
{
    TempDir dir;
    WriteRaw(dir / "ten", "0123456789");
    EXPECT_EQ(FileSystem::CalculateSize(dir / "ten", false), 10);
    EXPECT_EQ(FileSystem::CalculateSize(dir / "missing", true), -1);
    EXPECT_EQ(FileSystem::CalculateSize(dir / "it's missing", false), -1);

    // Shell syntax in a path is just a name.
    WriteRaw(dir / "it's $(here) `x`", "12345");
    EXPECT_EQ(FileSystem::CalculateSize(dir / "it's $(here) `x`", false), 5);
}

TEST(FileSystem, CalculateSizeOfTreeMatchesDu)
{
    TempDir dir;
    const std::string root = dir / "cache's";
    fs::create_directories(root + "/metadata/deeper");
    fs::create_directories(root + "/empty");
    WriteRaw(root + "/index.json", "[]");
    WriteRaw(root + "/metadata/a.json", std::string(5000, 'a'));
    WriteRaw(root + "/metadata/deeper/b", std::string(123, 'b'));
    fs::create_hard_link(root + "/metadata/a.json", root + "/hardlink");
    fs::create_symlink("metadata/a.json", root + "/symlink");

    const std::string du = RunAndCapture({"du", "-sb", root});
    ASSERT_FALSE(du.empty());
    EXPECT_EQ(FileSystem::CalculateSize(root, true), std::stoll(du));
    // A cache directory that is a link is measured where it lies.
    fs::create_directory_symlink(root, dir / "linked cache");
    EXPECT_EQ(FileSystem::CalculateSize(dir / "linked cache", true), std::stoll(du));
}

// Every part of the path that exists is resolved as the kernel would when opening it, dangling
// links included; "..", applied after a link, goes up from where the link led.
TEST(FileSystem, RealLocationFollowsEveryLinkOnTheWay)
{
    TempDir dir(true);
    const std::string root = fs::canonical(dir.Path());
    fs::create_directories("real/inner");
    fs::create_directory_symlink("real/inner", "link");
    fs::create_symlink(root + "/nowhere/file", "dangling");
    fs::create_symlink("loop", "loop");

    EXPECT_EQ(FileSystem::RealLocation("real/inner/x.txt"), root + "/real/inner/x.txt");
    EXPECT_EQ(FileSystem::RealLocation("link/x.txt"), root + "/real/inner/x.txt");
    EXPECT_EQ(FileSystem::RealLocation("link/../up.txt"), root + "/real/up.txt");
    EXPECT_EQ(FileSystem::RealLocation("dangling"), root + "/nowhere/file");
    EXPECT_EQ(FileSystem::RealLocation("missing/../x"), root + "/x");
    EXPECT_EQ(FileSystem::RealLocation("loop/x"), "");
    EXPECT_EQ(FileSystem::RealLocation("."), root);
}

TEST(FileSystem, IsWithinComparesWholePathParts)
{
    EXPECT_TRUE(FileSystem::IsWithin("/a/b", "/a/b"));
    EXPECT_TRUE(FileSystem::IsWithin("/a/b/c", "/a/b/"));
    EXPECT_TRUE(FileSystem::IsWithin("/a/b", "/"));
    EXPECT_FALSE(FileSystem::IsWithin("/a/bc", "/a/b"));
    EXPECT_FALSE(FileSystem::IsWithin("/a", "/a/b"));
}

TEST(FileSystem, WriteFileKeepingPrefixReplacesOnlyTheTail)
{
    TempDir dir;
    WriteRaw(dir / "log.json", "[\n  1\n]");
    ASSERT_TRUE(FileSystem::WriteFileKeepingPrefix(dir / "log.json", 5, ",\n  2\n]"));
    EXPECT_EQ(ReadRaw(dir / "log.json"), "[\n  1,\n  2\n]");
    EXPECT_EQ(DirectoryListing(dir.Path()), std::vector<std::string>{"log.json"});

    EXPECT_FALSE(FileSystem::WriteFileKeepingPrefix(dir / "log.json", 100, "x"));
    EXPECT_EQ(ReadRaw(dir / "log.json"), "[\n  1,\n  2\n]");
    EXPECT_FALSE(FileSystem::WriteFileKeepingPrefix(dir / "missing.json", 0, "x"));
    EXPECT_EQ(DirectoryListing(dir.Path()), std::vector<std::string>{"log.json"});
}
