#pragma once
#include <condition_variable>
#include <functional>
#include <thread>
#include <utility>
#include "app/ThreadSafety.h"

namespace Downloader
{
    // Writes the cache's two files, index.json and queue.json, on a thread of its own, so that
    // a download finishing beside a history of tens of thousands does not hold up the main loop
    // while the index is rendered and synced. Of one request, the index is written before the
    // queue: a crash in between leaves an entry in both files, never in neither. Requests made
    // while a write runs are merged, each file taking the newest one asked for. Its operations
    // are called by the main thread; the writes run on the save thread.
    class SaveThread
    {
    public:
        // Writes one file; false when that failed.
        using Write = std::function<bool()>;

        // What ended since the last Report: how many index requests were written (merged ones
        // count each) and whether a write of either file failed.
        struct Outcome
        {
            int indexSaves = 0;
            bool indexFailed = false;
            bool queueFailed = false;
        };

        SaveThread();
        ~SaveThread();  // waits for what was asked
        SaveThread(const SaveThread&) = delete;
        SaveThread& operator=(const SaveThread&) = delete;

        // Either may be empty; a pending request for the same file is replaced.
        void Submit(Write index, Write queue);
        // Returns once every write asked for has run.
        void Wait();
        Outcome Report();

    private:
        void Run();

        Mutex mutex;
        std::condition_variable changed;
        Write pendingIndex GUARDED_BY(mutex);
        int pendingIndexSaves GUARDED_BY(mutex) = 0;
        Write pendingQueue GUARDED_BY(mutex);
        bool writing GUARDED_BY(mutex) = false;
        bool ending GUARDED_BY(mutex) = false;
        Outcome outcome GUARDED_BY(mutex);
        std::thread thread;
    };
}
