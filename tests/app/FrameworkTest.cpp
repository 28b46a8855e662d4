#include <gtest/gtest.h>
#include "app/ConsoleManager.h"
#include "app/Framework.h"
#include "app/Idler.h"
#include "app/Updater.h"
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
        savedWait = Idler::wait;
        Idler::wait = [this](unsigned int) {
            ++idleWaits;
            if (stopDuringIdle)
                XGControl::keepServerRunning = false;
        };
    }
    void TearDown() override { Idler::wait = savedWait; }

    TestSupport::TempDir workingDirectory{true};
    std::function<void(unsigned int)> savedWait;
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

TEST_F(FrameworkTest, NoPassRunsWhenTheFlagIsAlreadyClear)
{
    Framework framework;
    XGControl::keepServerRunning = false;
    framework.Run();
    EXPECT_EQ(idleWaits, 0);
}

TEST(PlatformStubs, LinuxHasNoConsoleOrUpdater)
{
    EXPECT_FALSE(ConsoleManager::IsSupported());
    EXPECT_FALSE(ConsoleManager::ShowConsole());
    EXPECT_FALSE(ConsoleManager::HideConsole());
    EXPECT_EQ(Updater::UpdateYoutubeDL(), "not implemented");
}
