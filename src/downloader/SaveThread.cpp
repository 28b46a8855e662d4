#include "downloader/SaveThread.h"

using namespace Downloader;

SaveThread::SaveThread() : thread(&SaveThread::Run, this)
{
}

SaveThread::~SaveThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
    }
    changed.notify_all();
    thread.join();
}

void SaveThread::Submit(Write index, Write queue)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (index)
        {
            pendingIndex = std::move(index);
            pendingIndexSaves++;
        }
        if (queue)
            pendingQueue = std::move(queue);
    }
    changed.notify_all();
}

void SaveThread::Wait()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return !writing && !pendingIndex && !pendingQueue; });
}

SaveThread::Outcome SaveThread::Report()
{
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(outcome, Outcome{});
}

void SaveThread::Run()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (true)
    {
        changed.wait(lock, [this] { return ending || pendingIndex || pendingQueue; });
        if (!pendingIndex && !pendingQueue)
            return;  // ending, with nothing left to write
        Write index = std::exchange(pendingIndex, nullptr);
        const int indexSaves = std::exchange(pendingIndexSaves, 0);
        Write queue = std::exchange(pendingQueue, nullptr);
        writing = true;
        lock.unlock();
        const bool indexFailed = index && !index();
        const bool queueFailed = queue && !queue();
        lock.lock();
        writing = false;
        outcome.indexSaves += indexSaves;
        outcome.indexFailed = outcome.indexFailed || indexFailed;
        outcome.queueFailed = outcome.queueFailed || queueFailed;
        changed.notify_all();
    }
}
