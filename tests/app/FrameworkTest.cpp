#include <gtest/gtest.h>
#include "app/ConsoleManager.h"
#include "app/Framework.h"
#include "app/Idler.h"
#include "app/XGControl.h"
#include "logging/LogHistory.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

// The frame runs in a scratch working directory, as the server runs in its own.
class FrameworkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Any free port of the loopback address: the tests must not take the real one.
        TestSupport::WriteRaw("config.json", R"({"httpServer": {"port": "127.0.0.1:0"}})");
        savedLastQuery = XGControl::last_query_time;
        savedWait = Idler::wait;
        Idler::wait = [this](unsigned int) {
            ++idleWaits;
            if (stopDuringIdle)
                XGControl::keepServerRunning = false;
        };
    }
    void TearDown() override
    {
        Idler::wait = savedWait;
        XGControl::last_query_time = savedLastQuery;
    }

    TestSupport::TempDir workingDirectory{true};
    std::function<void(unsigned int)> savedWait;
    time_t savedLastQuery = 0;
    int idleWaits = 0;
    bool stopDuringIdle = false;
};

TEST_F(FrameworkTest, StartUpLogsThroughTheHistoryAndSetsTheRunFlag)
{
    Framework framework;

    ASSERT_NE(Logging::LogHistory::history, nullptr);
    EXPECT_EQ(TestSupport::MessagesOf("Framework"),
              (std::vector<std::string>{"Starting Pelko server...", "Started Pelko server successfully!"}));
    EXPECT_TRUE(XGControl::keepServerRunning);

    XGControl::keepServerRunning = false;
    framework.Run();
}

// The flag is read before each pass only: the pass that clears it completes (its idle
// step included), no further pass runs, and the shut-down phases end with the history.
TEST_F(FrameworkTest, ClearingTheRunFlagFinishesThePassThenShutsDown)
{
    Framework framework;
    XGControl::last_query_time = 0;  // idle, so every pass reaches the idle wait
    stopDuringIdle = true;

    framework.Run();

    EXPECT_EQ(idleWaits, 1);
    EXPECT_EQ(Logging::LogHistory::history, nullptr);
}

// The text log is written last of all, so it holds every phase's lines in the order
// the phases ran them.
TEST_F(FrameworkTest, PhasesRunInTheirOrderAndTheLogIsSavedLast)
{
    {
        Framework framework;
        XGControl::keepServerRunning = false;
        framework.Run();
    }
    const std::string log = TestSupport::ReadRaw("log.txt");
    const std::vector<std::string> expectedOrder = {
        "[Config]: Loaded config file",                     // settings first of the subsystems
        "[DownloadManager]: Did not load download cache",   // the downloader last of them
        "[Framework]: Starting Pelko server...",
        "[HttpServer]: Starting http-server on port",       // post-init binds the port
        "[Framework]: Started Pelko server successfully!",
        "[HttpServer]: Shutting down http-server...",       // on-exit: the server first,
        "[DownloadManager]: Saving...",                     // then the downloader
        "[Config]: Saving config...",                       // post-exit: settings first
    };
    size_t position = 0;
    for (const std::string& line : expectedOrder)
    {
        const size_t found = log.find(line, position);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << log;
        position = found + line.size();
    }
}

TEST_F(FrameworkTest, NoPassRunsWhenTheFlagIsAlreadyClear)
{
    Framework framework;
    XGControl::keepServerRunning = false;
    framework.Run();
    EXPECT_EQ(idleWaits, 0);
}

TEST(PlatformStubs, LinuxHasNoConsole)
{
    EXPECT_FALSE(ConsoleManager::IsSupported());
    EXPECT_FALSE(ConsoleManager::ShowConsole());
    EXPECT_FALSE(ConsoleManager::HideConsole());
}
