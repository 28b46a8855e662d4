#include "downloader/SaveThread.h"

using namespace Downloader;

SaveThread::SaveThread() : thread(&SaveThread::Run, this)
{
}

SaveThread::~SaveThread()
{
    {
        MutexLock lock(mutex);
        ending = true;
    }
    changed.notify_all();
    thread.join();
}

void SaveThread::Submit(Write index, Write queue)
{
    {
        MutexLock lock(mutex);
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
    MutexLock lock(mutex);
    while (writing || pendingIndex || pendingQueue)
        mutex.Wait(changed);
}

SaveThread::Outcome SaveThread::Report()
{
    MutexLock lock(mutex);
    return std::exchange(outcome, Outcome{});
}

void SaveThread::Run()
{
    MutexLock lock(mutex);
    while (true)
    {
        while (!ending && !pendingIndex && !pendingQueue)
            mutex.Wait(changed);
        if (!pendingIndex && !pendingQueue)
            return;  // ending, with nothing left to write
        Write index = std::exchange(pendingIndex, nullptr);
        const int indexSaves = std::exchange(pendingIndexSaves, 0);
        Write queue = std::exchange(pendingQueue, nullptr);
        writing = true;
        mutex.Unlock();
        const bool indexFailed = index && !index();
        const bool queueFailed = queue && !queue();
        mutex.Lock();
        writing = false;
        outcome.indexSaves += indexSaves;
        outcome.indexFailed = outcome.indexFailed || indexFailed;
        outcome.queueFailed = outcome.queueFailed || queueFailed;
        changed.notify_all();
    }
}
