#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <csignal>
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

    EXPECT_EQ(ExternalProgram::Run(arguments, "out.txt").exitStatus, 0);

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
    EXPECT_EQ(ExternalProgram::Run({"cat"}, "out.txt").exitStatus, 0);
    EXPECT_EQ(ReadRaw("out.txt"), "");
}

TEST_F(ExternalProgramTest, ReportsHowItEnded)
{
    const ExternalProgram::Outcome exited = ExternalProgram::Run({"sh", "-c", "exit 3"}, "out.txt");
    EXPECT_TRUE(exited.started);
    EXPECT_EQ(exited.exitStatus, 3);
    EXPECT_EQ(exited.signal, 0);
    EXPECT_FALSE(exited.stopped);

    const ExternalProgram::Outcome killed = ExternalProgram::Run({"sh", "-c", "kill -9 $$"}, "out.txt");
    EXPECT_EQ(killed.exitStatus, -1);
    EXPECT_EQ(killed.signal, SIGKILL);
}

TEST_F(ExternalProgramTest, MissingProgramFailsButLeavesAnEmptyOutputFile)
{
    EXPECT_FALSE(ExternalProgram::Run({"pelko-no-such-program"}, "out.txt", "err.txt").started);
    EXPECT_EQ(ReadRaw("out.txt"), "");
    EXPECT_EQ(ReadRaw("err.txt"), "");
}

TEST_F(ExternalProgramTest, UnwritableOutputStartsNothing)
{
    EXPECT_FALSE(ExternalProgram::Run({"touch", "started"}, "missing-directory/out.txt").started);
    EXPECT_FALSE(ExternalProgram::Run({"touch", "started"}, "out.txt", "missing-directory/err.txt").started);
    EXPECT_FALSE(std::filesystem::exists("started"));
}

TEST_F(ExternalProgramTest, ErrorOutputGoesIntoItsOwnFile)
{
    TestSupport::WriteRaw("err.txt", "an earlier run's complaint");
    ExternalProgram::Run({"sh", "-c", "echo out; echo 'ERROR: no such video' >&2"}, "out.txt", "err.txt");
    EXPECT_EQ(ReadRaw("out.txt"), "out\n");
    EXPECT_EQ(ReadRaw("err.txt"), "ERROR: no such video\n");
}

namespace
{
    bool IsAlive(const std::string& pidFile)
    {
        const pid_t pid = static_cast<pid_t>(std::stol(ReadRaw(pidFile)));
        return kill(pid, 0) == 0;
    }
}

// The program and everything it started end, whether it stops when asked or has to be killed,
// and whether or not it leaves a child behind.
struct StopCase
{
    std::string name;
    std::string script;  // writes the id of a child it starts into "child.pid"
    int signal;          // that ended the program
    double atLeastSeconds;
};

class StopTest : public ExternalProgramTest, public ::testing::WithParamInterface<StopCase>
{
};

TEST_P(StopTest, EndsTheWholeGroup)
{
    std::atomic<bool> stop = false;
    const auto start = std::chrono::steady_clock::now();
    const ExternalProgram::Outcome outcome =
        ExternalProgram::Run({"sh", "-c", GetParam().script}, "out.txt", "", &stop, [&] {
            // Asked to stop once the child is there.
            if (std::filesystem::exists("child.pid") && std::filesystem::file_size("child.pid") > 0)
                stop = true;
        });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.signal, GetParam().signal);
    EXPECT_GE(seconds, GetParam().atLeastSeconds);
    EXPECT_FALSE(IsAlive("child.pid"));
}

INSTANTIATE_TEST_SUITE_P(
    Programs, StopTest,
    ::testing::Values(StopCase{"Obliging", "sleep 300 & echo $! > child.pid; wait", SIGTERM, 0},
                      StopCase{"Deaf", "trap '' TERM; sleep 300 & echo $! > child.pid; while :; do sleep 0.1; done",
                               SIGKILL, ExternalProgram::stopGraceSeconds}),
    [](const auto& info) { return info.param.name; });

TEST_F(ExternalProgramTest, NothingOfTheGroupOutlivesAProgramThatEndsByItself)
{
    const ExternalProgram::Outcome outcome =
        ExternalProgram::Run({"sh", "-c", "sleep 300 & echo $! > child.pid; exit 0"}, "out.txt");
    EXPECT_EQ(outcome.exitStatus, 0);
    EXPECT_FALSE(outcome.stopped);
    EXPECT_FALSE(IsAlive("child.pid"));
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
