#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include "app/Framework.h"
#include "app/Idler.h"
#include "app/XGControl.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "support/FakeDownloader.h"
#include "support/TempDir.h"

using namespace Downloader;

namespace
{
    bool IndexFileMentions(const std::string& id)
    {
        return TestSupport::ReadRaw("dlcache/index.json").find("\"" + id + "\"") != std::string::npos;
    }
}

// One download finishing while another runs must not stop the main loop: the pass that saves
// the finished one returns while the other is still downloading.
TEST(MainLoop, KeepsPassingWhileAnotherDownloadRuns)
{
    TestSupport::TempDir directory{true};
    TestSupport::FakeDownloader fake{directory / "calls.log"};
    const std::function<void(unsigned int)> savedWait = Idler::wait;
    Idler::wait = [](unsigned int) {};
    const std::string hold = directory / "hold";

    Framework framework;
    XGConfig::downloader.num_threads = 2;
    const std::string running = DownloadManager::QueueDownload({"http://127.0.0.1/long?fake_hold=" + hold, AUDIO});
    const std::string finishing = DownloadManager::QueueDownload({"http://127.0.0.1/short", AUDIO});

    // Should a pass wait for the held download after all, this ends the wait, and the test fails
    // instead of hanging.
    std::atomic<bool> checked = false;
    std::thread watchdog([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!checked && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        TestSupport::WriteRaw(hold, "");
    });

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!IndexFileMentions(finishing) && std::chrono::steady_clock::now() < deadline)
        framework.Update();

    EXPECT_TRUE(IndexFileMentions(finishing));
    EXPECT_EQ(DownloadManager::GetDownloadEntryByPelkoID(running).status.load(), DOWNLOADING);

    checked = true;
    watchdog.join();
    XGControl::keepServerRunning = false;
    framework.Run();
    Idler::wait = savedWait;
    EXPECT_TRUE(IndexFileMentions(running));
}
