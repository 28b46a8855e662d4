#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include "downloader/ExternalProgram.h"
#include "support/TempDir.h"

using Downloader::ExternalProgram;
using TestSupport::ReadRaw;

class ExternalProgramTest : public ::testing::Test
{
protected:
    TestSupport::TempDir directory{true};
};

TEST_F(ExternalProgramTest, ArgumentsReachTheProgramVerbatimAndNoShellRuns)
{
    const std::vector<std::string> hostile = {"\"; touch injected1; \"", "$(touch injected2)", "`touch injected3`",
                                              "a b\\c'd", "; touch injected4"};
    std::vector<std::string> arguments = {"printf", "%s\\n"};
    arguments.insert(arguments.end(), hostile.begin(), hostile.end());

    EXPECT_EQ(ExternalProgram::Run(arguments, "out.txt"), 0);

    std::string expected;
    for (const std::string& argument : hostile)
        expected += argument + "\n";
    EXPECT_EQ(ReadRaw("out.txt"), expected);
    for (const char* marker : {"injected1", "injected2", "injected3", "injected4"})
        EXPECT_FALSE(std::filesystem::exists(marker)) << marker;
}

TEST_F(ExternalProgramTest, StandardInputIsEmptyAndOutputReplacesTheFile)
{
    TestSupport::WriteRaw("out.txt", "old content that must go");
    EXPECT_EQ(ExternalProgram::Run({"cat"}, "out.txt"), 0);
    EXPECT_EQ(ReadRaw("out.txt"), "");
}

TEST_F(ExternalProgramTest, ReportsTheExitStatus)
{
    EXPECT_EQ(ExternalProgram::Run({"sh", "-c", "exit 3"}, "out.txt"), 3);
    EXPECT_EQ(ExternalProgram::Run({"sh", "-c", "kill -9 $$"}, "out.txt"), -1);
}

TEST_F(ExternalProgramTest, MissingProgramFailsButLeavesAnEmptyOutputFile)
{
    EXPECT_EQ(ExternalProgram::Run({"pelko-no-such-program"}, "out.txt"), -1);
    EXPECT_TRUE(std::filesystem::exists("out.txt"));
    EXPECT_EQ(ReadRaw("out.txt"), "");
}

TEST_F(ExternalProgramTest, UnwritableOutputStartsNothing)
{
    EXPECT_EQ(ExternalProgram::Run({"touch", "started"}, "missing-directory/out.txt"), -1);
    EXPECT_FALSE(std::filesystem::exists("started"));
}

TEST_F(ExternalProgramTest, FindsOnlyExecutableFilesAlongTheSearchPath)
{
    std::filesystem::create_directories("first");
    std::filesystem::create_directories("second");
    TestSupport::WriteRaw("first/tool", "not executable");
    TestSupport::WriteRaw("second/tool", "#!/bin/sh\n");
    chmod("second/tool", 0755);
    std::filesystem::create_directories("first/dir-tool");

    const char* previous = getenv("PATH");
    const std::string saved = previous ? previous : "";
    setenv("PATH", (directory / "first:" + directory.Path() + "/second").c_str(), 1);
    const std::string found = ExternalProgram::FindOnSearchPath("tool");
    const std::string missing = ExternalProgram::FindOnSearchPath("pelko-no-such-program");
    const std::string directoryOnly = ExternalProgram::FindOnSearchPath("dir-tool");
    setenv("PATH", saved.c_str(), 1);

    EXPECT_EQ(found, directory / "second/tool");
    EXPECT_EQ(missing, "");
    EXPECT_EQ(directoryOnly, "");
}
