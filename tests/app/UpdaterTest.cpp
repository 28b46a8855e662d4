#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <thread>
#include "app/Updater.h"
#include "config/XGConfig.h"
#include "downloader/DownloaderProgram.h"
#include "downloader/ExternalProgram.h"
#include "support/LocalHttpServer.h"
#include "support/TempDir.h"

using TestSupport::LocalHttpServer;
using TestSupport::ReadRaw;
namespace fs = std::filesystem;

namespace
{
    const std::string oldProgram = "#!/bin/sh\necho 2000.01.01\n";
    const std::string newProgram = "#!/bin/sh\necho 2099.01.01\n";

    // Computed by coreutils, not by the library the updater uses.
    std::string Sha256Hex(const std::string& content)
    {
        TestSupport::WriteRaw("sum-input", content);
        Downloader::ExternalProgram::Run({"sha256sum", "sum-input"}, "sum-output");
        const std::string sum = ReadRaw("sum-output").substr(0, 64);
        fs::remove("sum-input");
        fs::remove("sum-output");
        return sum;
    }

    // A listing as the release publishes it: every file of the release, "yt-dlp" among them.
    std::string SumsListing(const std::string& programSum)
    {
        return std::string(64, 'a') + "  yt-dlp.exe\n" + programSum + "  yt-dlp\n" + std::string(64, 'b') +
               "  yt-dlp_linux\n";
    }

    mode_t ModeOf(const std::string& path)
    {
        struct stat info{};
        stat(path.c_str(), &info);
        return info.st_mode & 07777;
    }
}

// A working directory holding an older own copy, and a local server that plays the release host.
class UpdaterTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories("bin");
        TestSupport::WriteRaw("bin/yt-dlp", oldProgram);
        chmod("bin/yt-dlp", 0755);
    }

    void ServeRelease(const std::string& program, const std::string& sums)
    {
        host.Serve("/release/yt-dlp", {200, program});
        host.Serve("/release/SHA2-256SUMS", {200, sums});
    }

    void ExpectOldProgramKept()
    {
        EXPECT_EQ(ReadRaw("bin/yt-dlp"), oldProgram);
        EXPECT_EQ(ModeOf("bin/yt-dlp"), 0755u);
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator("bin"))
            names.push_back(entry.path().filename());
        EXPECT_EQ(names, std::vector<std::string>{"yt-dlp"});
    }

    TestSupport::TempDir directory{true};
    LocalHttpServer host;
    TestSupport::DirectConnections direct;
};

TEST_F(UpdaterTest, GoodReleaseReplacesTheOwnCopy)
{
    ServeRelease(newProgram, SumsListing(Sha256Hex(newProgram)));

    const Updater::Outcome outcome = Updater::InstallDownloader(host.Url("/release/"));

    EXPECT_TRUE(outcome.installed) << outcome.error;
    EXPECT_EQ(outcome.version, "2099.01.01");
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(ReadRaw("bin/yt-dlp"), newProgram);
    EXPECT_EQ(ModeOf("bin/yt-dlp"), 0755u);
    EXPECT_EQ(fs::directory_iterator("bin")->path().filename(), "yt-dlp");  // no staging file left
    EXPECT_TRUE(Downloader::DownloaderProgram::Find().isOwnCopy);
}

TEST_F(UpdaterTest, FirstInstallCreatesBinAndTakesAFolderWithoutSlash)
{
    fs::remove_all("bin");
    ServeRelease(newProgram, SumsListing(Sha256Hex(newProgram)));

    const Updater::Outcome outcome = Updater::InstallDownloader(host.Url("/release"));

    EXPECT_TRUE(outcome.installed) << outcome.error;
    EXPECT_EQ(ReadRaw("bin/yt-dlp"), newProgram);
    EXPECT_EQ(ModeOf("bin/yt-dlp"), 0755u);
}

TEST_F(UpdaterTest, UpdatesAtTheSameTimeRunOneAfterTheOther)
{
    ServeRelease(newProgram, SumsListing(Sha256Hex(newProgram)));
    Updater::Outcome first;
    Updater::Outcome second;
    std::thread other([&] { first = Updater::InstallDownloader(host.Url("/release/")); });
    second = Updater::InstallDownloader(host.Url("/release/"));
    other.join();

    EXPECT_TRUE(first.installed) << first.error;
    EXPECT_TRUE(second.installed) << second.error;
    EXPECT_EQ(ReadRaw("bin/yt-dlp"), newProgram);
}

// The update runs beside the main thread from the setting's folder; whoever asks meanwhile waits
// for the same one, and a shut-down cuts it short, keeping the old program.
TEST_F(UpdaterTest, OneUpdateRunsOffTheMainThreadUntilTheShutDownStopsIt)
{
    const std::string hanging = "#!/bin/sh\nsleep 60\necho 2099.01.01\n";
    ServeRelease(hanging, SumsListing(Sha256Hex(hanging)));
    XGConfig::downloader.update_url = host.Url("/release/");
    XGConfig::downloader.js_runtime_url = host.Url("/deno/");
    Updater::PreInit();

    const std::shared_ptr<const Updater::Run> run = Updater::UpdateYoutubeDL();
    while (!fs::exists("bin/yt-dlp.download") && !run->ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(Updater::UpdateYoutubeDL(), run);
    EXPECT_FALSE(run->ended);

    // Without the stop, the new program would answer after its minute and be installed.
    Updater::Stop();
    ASSERT_TRUE(run->ended);
    EXPECT_FALSE(run->outcome.installed);
    EXPECT_EQ(run->outcome.error, "The update was stopped: the server is shutting down.");
    EXPECT_EQ(run->runtime.error, "The update was stopped: the server is shutting down.");
    ExpectOldProgramKept();

    const std::shared_ptr<const Updater::Run> late = Updater::UpdateYoutubeDL();
    EXPECT_TRUE(late->ended);
    EXPECT_EQ(late->outcome.error, "The update was stopped: the server is shutting down.");
    Updater::PreInit();
}

struct FailureCase
{
    std::string name;
    std::string sums;                  // "{sum}" stands for the program's true sum
    LocalHttpServer::Reply program;
    std::string folder;                // "{host}" stands for http://127.0.0.1:<port>, "{port}" for the port
    std::string errorStart;            // "{host}" and "{port}" as above
    std::string errorPart;             // further text the error holds; libcurl's own words
};

class UpdaterFailureTest : public UpdaterTest, public ::testing::WithParamInterface<FailureCase>
{
protected:
    std::string Expand(std::string text)
    {
        const std::string hostUrl = host.Url("");
        for (const auto& [placeholder, value] :
             {std::pair<std::string, std::string>{"{host}", hostUrl}, {"{port}", hostUrl.substr(hostUrl.rfind(':') + 1)}})
            for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder))
                text.replace(at, placeholder.size(), value);
        return text;
    }
};

TEST_P(UpdaterFailureTest, KeepsTheOldProgramAndSaysWhatWentWrong)
{
    const FailureCase& c = GetParam();
    std::string sums = c.sums;
    if (const size_t at = sums.find("{sum}"); at != std::string::npos)
        sums.replace(at, 5, Sha256Hex(c.program.body));
    host.Serve("/release/SHA2-256SUMS", {200, sums});
    host.Serve("/release/yt-dlp", c.program);

    const Updater::Outcome outcome = Updater::InstallDownloader(Expand(c.folder));

    EXPECT_FALSE(outcome.installed);
    EXPECT_EQ(outcome.version, "");
    EXPECT_EQ(outcome.error.rfind(Expand(c.errorStart), 0), 0u) << outcome.error;
    EXPECT_NE(outcome.error.find(c.errorPart), std::string::npos) << outcome.error;
    EXPECT_EQ(outcome.error.back(), '.') << outcome.error;
    ExpectOldProgramKept();
}

const int unusedPort = TestSupport::UnusedLoopbackPort();
const std::string goodSums = SumsListing("{sum}");

INSTANTIATE_TEST_SUITE_P(
    Releases, UpdaterFailureTest,
    ::testing::Values(
        FailureCase{"WrongSum", SumsListing(std::string(64, 'c')), {200, newProgram}, "{host}/release/",
                    "The downloaded yt-dlp does not match its SHA-256 sum in SHA2-256SUMS.", ""},
        FailureCase{"TruncatedProgram", goodSums, {200, newProgram, newProgram.size() / 2}, "{host}/release/",
                    "Could not download {host}/release/yt-dlp: ", "transfer closed"},
        FailureCase{"UnreachableServer", goodSums, {200, newProgram},
                    "http://127.0.0.1:" + std::to_string(unusedPort) + "/release/",
                    "Could not download http://127.0.0.1:" + std::to_string(unusedPort) + "/release/SHA2-256SUMS: ",
                    "onnect"},
        FailureCase{"MissingProgram", goodSums, {404, "no such file"}, "{host}/release/",
                    "Could not download {host}/release/yt-dlp: the server answered with HTTP status 404.", ""},
        FailureCase{"NoSumForTheProgram", std::string(64, 'a') + "  yt-dlp.exe\n", {200, newProgram},
                    "{host}/release/", "The release's SHA2-256SUMS lists no sum for yt-dlp.", ""},
        FailureCase{"OversizedSums", std::string(2 * 1024 * 1024, '#'), {200, newProgram}, "{host}/release/",
                    "Could not download {host}/release/SHA2-256SUMS: it is larger than 1 MiB.", ""},
        FailureCase{"ProgramThatDoesNotRun", goodSums, {200, "#!/bin/sh\nexit 1\n"}, "{host}/release/",
                    "The downloaded yt-dlp does not run here: it answered no version.", ""},
        FailureCase{"HttpsToAPlainServer", goodSums, {200, newProgram},
                    "https://127.0.0.1:{port}/release/", "Could not download https://127.0.0.1:{port}/release/SHA2-256SUMS: ", ""},
        FailureCase{"PlainHttpToAnotherMachine", goodSums, {200, newProgram}, "http://example.com/release/",
                    "The update address \"http://example.com/release/\" is no https:// address (plain http:// is "
                    "taken only from this machine).",
                    ""},
        FailureCase{"UserInfoDoesNotMakeAHostLocal", goodSums, {200, newProgram}, "http://127.0.0.1@example.com/",
                    "The update address \"http://127.0.0.1@example.com/\" is no https:// address", ""},
        FailureCase{"NotAnAddress", goodSums, {200, newProgram}, "ftp://127.0.0.1/release/",
                    "The update address \"ftp://127.0.0.1/release/\" is no https:// address", ""}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

// deno comes as a zip archive with a sum file of its own; the archive is made by Python's
// zipfile, not by the program that unpacks it.
class RuntimeUpdateTest : public UpdaterTest
{
protected:
    void SetUp() override
    {
        UpdaterTest::SetUp();
        TestSupport::WriteRaw("bin/deno", oldRuntime);
        chmod("bin/deno", 0755);
    }

    static std::string Zipped(const std::string& name, const std::string& content)
    {
        fs::create_directories("zipping");
        TestSupport::WriteRaw("zipping/" + name, content);
        Downloader::ExternalProgram::Run({"python3", "-m", "zipfile", "-c", "zipping/out.zip", "zipping/" + name},
                                         "zipping/output");
        const std::string archive = ReadRaw("zipping/out.zip");
        fs::remove_all("zipping");
        return archive;
    }

    static std::string Asset()
    {
        utsname machine{};
        uname(&machine);
        return "deno-" + std::string(machine.machine) + "-unknown-linux-gnu.zip";
    }

    const std::string asset = Asset();
    const std::string oldRuntime = "#!/bin/sh\necho 'deno 1.0.0 (stable, release, x86_64-unknown-linux-gnu)'\n";
};

struct RuntimeCase
{
    std::string name;
    std::string archived;  // the file in the archive, named "deno"; "" serves `raw` instead
    std::string raw;
    bool listedSum;        // the sum file holds the archive's true sum
    std::string error;     // "" when it is installed; "{asset}" stands for the archive's name
};

class RuntimeUpdateCaseTest : public RuntimeUpdateTest, public ::testing::WithParamInterface<RuntimeCase>
{
};

TEST_P(RuntimeUpdateCaseTest, InstallsOnlyAVerifiedRuntimeThatRuns)
{
    const RuntimeCase& c = GetParam();
    const std::string archive = c.archived.empty() ? c.raw : Zipped(c.name == "NoDenoInside" ? "node" : "deno", c.archived);
    host.Serve("/deno/" + asset, {200, archive});
    host.Serve("/deno/" + asset + ".sha256sum",
               {200, (c.listedSum ? Sha256Hex(archive) : std::string(64, 'c')) + "  " + asset + "\n"});

    const Updater::Outcome outcome = Updater::InstallJsRuntime(host.Url("/deno/"));

    std::string error = c.error;
    for (size_t at = error.find("{asset}"); at != std::string::npos; at = error.find("{asset}"))
        error.replace(at, 7, asset);
    EXPECT_EQ(outcome.error, error);
    EXPECT_EQ(outcome.installed, error.empty());
    EXPECT_EQ(outcome.version, error.empty() ? "2.5.6" : "");
    EXPECT_EQ(ReadRaw("bin/deno"), error.empty() ? c.archived : oldRuntime);
    EXPECT_EQ(ModeOf("bin/deno"), 0755u);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("bin"))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"deno", "yt-dlp"}));  // no staging file left
    EXPECT_EQ(ReadRaw("bin/yt-dlp"), oldProgram);
}

const std::string newRuntime = "#!/bin/sh\necho 'deno 2.5.6 (stable, release, x86_64-unknown-linux-gnu)'\necho 'v8 14.0'\n";

INSTANTIATE_TEST_SUITE_P(
    Releases, RuntimeUpdateCaseTest,
    ::testing::Values(
        RuntimeCase{"GoodRelease", newRuntime, "", true, ""},
        RuntimeCase{"WrongSum", newRuntime, "", false,
                    "The downloaded {asset} does not match its SHA-256 sum in {asset}.sha256sum."},
        RuntimeCase{"RuntimeThatDoesNotRun", "#!/bin/sh\nexit 1\n", "", true,
                    "The downloaded deno does not run here: it answered no version."},
        RuntimeCase{"NotAZipArchive", "", newRuntime, true,
                    "Could not unpack deno from {asset}: unzip ended with status 9."},
        RuntimeCase{"NoDenoInside", newRuntime, "", true,
                    "Could not unpack deno from {asset}: unzip ended with status 11."}),
    [](const ::testing::TestParamInfo<RuntimeCase>& info) { return info.param.name; });
