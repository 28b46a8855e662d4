#pragma once
#include <gtest/gtest.h>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>
#include "app/Clock.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "json/Json.h"
#include "logging/LogHistory.h"
#include "support/FakeDownloader.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

// The download manager in a scratch working directory, with the fake youtube-dl first on
// the search path, a clock that only the test moves, and the default downloader settings.
class DownloadManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedClock = Clock::now;
        UseFixtureClock();
        Logging::LogHistory::PreInit();
        XGConfig::downloader.cachedir = "dlcache";
        XGConfig::downloader.max_dlrate_per_thread = "100M";
        XGConfig::downloader.num_threads = 1;
        Downloader::DownloadManager::PreInit(FileLayout(XGConfig::downloader.cachedir));
    }

    void TearDown() override
    {
        for (const std::string& name : holds)
            Release(name);
        Downloader::DownloadManager::OnExit();
        Downloader::DownloadManager::PostExit();
        Logging::LogHistory::PostExit();
        Clock::now = savedClock;
    }

    // Back to `now`, after a test stepped the clock itself (loggers read it too).
    void UseFixtureClock()
    {
        Clock::now = [this] { return now; };
    }

    // Shut down and start again, as the server does across a restart, optionally with
    // `index` written as the index file in between.
    void Restart(const std::optional<std::string>& index = std::nullopt)
    {
        Downloader::DownloadManager::OnExit();
        Downloader::DownloadManager::PostExit();
        if (index)
            TestSupport::WriteRaw("dlcache/index.json", *index);
        Downloader::DownloadManager::PreInit(FileLayout(XGConfig::downloader.cachedir));
    }

    // Queues one second after the previous queuing, so ids never wait for the clock.
    std::string Queue(const std::string& url, Downloader::DOWNLOAD_MODE mode = Downloader::AUDIO)
    {
        now += 1;
        return Downloader::DownloadManager::QueueDownload({url, mode});
    }

    // An address whose download, after all its output, waits until Release(name).
    std::string Held(const std::string& name, const std::string& moreSwitches = "")
    {
        holds.push_back(name);
        return "http://127.0.0.1/" + name + "?fake_hold=" + HoldFile(name) + moreSwitches;
    }
    void Release(const std::string& name) { TestSupport::WriteRaw(HoldFile(name), ""); }
    std::string HoldFile(const std::string& name) const { return directory / ("hold-" + name); }

    // Runs update passes until `done` holds; false after 30 seconds.
    static bool PassUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline)
        {
            Downloader::DownloadManager::Update();
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // Waits, without passes, until `done` holds; false after 30 seconds.
    static bool WaitUntil(const std::function<bool()>& done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    static Downloader::DOWNLOAD_STATUS Status(const std::string& id)
    {
        return Downloader::DownloadManager::GetDownloadEntryByPelkoID(id).status;
    }
    static int32_t Progress(const std::string& id)
    {
        return Downloader::DownloadManager::GetDownloadEntryByPelkoID(id).download_progress;
    }

    // The ids of a listing, in its order.
    static std::vector<std::string> Ids(const Ostrel::JsonArray& listing)
    {
        std::vector<std::string> ids;
        for (size_t i = 0; i < listing.Size(); i++)
            ids.push_back(listing.At(i).GetJsonData().Get("pelko_id").GetStringData());
        return ids;
    }
    // Empty while no index has been written.
    static std::vector<std::string> IndexFileIds()
    {
        if (!std::filesystem::exists("dlcache/index.json"))
            return {};
        Ostrel::JsonData index;
        index.Parse(TestSupport::ReadRaw("dlcache/index.json"));
        return Ids(index.GetArrayData());
    }

    // The manager's messages, errors marked, since its last start-up line.
    static std::vector<std::string> MessagesSinceStart()
    {
        std::vector<std::string> messages;
        for (const Logging::LogEntry& entry : TestSupport::EntriesOf("DownloadManager"))
        {
            if (entry.message.rfind("Downloading with", 0) == 0)
                messages.clear();
            else
                messages.push_back((entry.type == Logging::ERR ? "ERROR: " : "") + entry.message);
        }
        return messages;
    }

    static inline const std::string notLoaded =
        "Did not load download cache, because \"dlcache/index.json\" was not found.";

    TestSupport::TempDir directory{true};
    TestSupport::FakeDownloader fake{directory / "calls.log"};
    time_t now = 1700000000;
    std::vector<std::string> holds;
    std::function<time_t()> savedClock;
};
