#include <gtest/gtest.h>
#include <future>
#include <mutex>
#include <string>
#include <vector>
#include "downloader/SaveThread.h"

using Downloader::SaveThread;

namespace
{
    // The writes that ran, in their order.
    struct Journal
    {
        std::mutex mutex;
        std::vector<std::string> writes;

        SaveThread::Write Write(std::string name, bool works = true)
        {
            return [this, name, works] {
                std::lock_guard<std::mutex> lock(mutex);
                writes.push_back(name);
                return works;
            };
        }
    };
}

// While one write runs, later requests wait and merge: each file is written once more, with the
// newest content asked for, the index before the queue.
TEST(SaveThread, MergesWhatIsAskedDuringAWriteAndKeepsTheIndexFirst)
{
    Journal journal;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> started;
    SaveThread saves;
    saves.Submit(
        [&] {
            started.set_value();
            released.wait();
            return journal.Write("index 1")();
        },
        journal.Write("queue 1"));
    started.get_future().wait();

    // The caller is never held up by the write under way.
    saves.Submit(nullptr, journal.Write("queue 2"));
    saves.Submit(journal.Write("index 2"), nullptr);
    saves.Submit(journal.Write("index 3"), journal.Write("queue 3"));
    release.set_value();
    saves.Wait();

    EXPECT_EQ(journal.writes, (std::vector<std::string>{"index 1", "queue 1", "index 3", "queue 3"}));
    const SaveThread::Outcome outcome = saves.Report();
    EXPECT_EQ(outcome.indexSaves, 3);
    EXPECT_FALSE(outcome.indexFailed);
    EXPECT_FALSE(outcome.queueFailed);
}

// A failure is told once, by the next report; the destructor still writes what was asked.
TEST(SaveThread, ReportsFailuresOnceAndWritesEverythingBeforeItEnds)
{
    Journal journal;
    {
        SaveThread saves;
        saves.Submit(journal.Write("index", false), journal.Write("queue"));
        saves.Wait();
        const SaveThread::Outcome failed = saves.Report();
        EXPECT_EQ(failed.indexSaves, 1);
        EXPECT_TRUE(failed.indexFailed);
        EXPECT_FALSE(failed.queueFailed);
        const SaveThread::Outcome next = saves.Report();
        EXPECT_EQ(next.indexSaves, 0);
        EXPECT_FALSE(next.indexFailed);

        saves.Submit(nullptr, journal.Write("last queue", false));
    }
    EXPECT_EQ(journal.writes, (std::vector<std::string>{"index", "queue", "last queue"}));
}
