#pragma once
#include <condition_variable>
#include <mutex>

// Clang's thread-safety analysis (-Wthread-safety) proves that a field marked GUARDED_BY(m) is
// only touched with m held; the test command builds the code with clang and the warnings as
// errors. Other compilers see nothing of it.
#if defined(__clang__)
#define PELKO_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define PELKO_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) PELKO_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY PELKO_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(mutex) PELKO_THREAD_ANNOTATION(guarded_by(mutex))
#define REQUIRES(...) PELKO_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) PELKO_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) PELKO_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) PELKO_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

// A std::mutex that the analysis knows. Waiting on a condition happens with it held, as with
// std::condition_variable; callers loop over their own condition, which the analysis can see.
class CAPABILITY("mutex") Mutex
{
public:
    void Lock() ACQUIRE() { mutex.lock(); }
    void Unlock() RELEASE() { mutex.unlock(); }

    // Releases the mutex while waiting for a notification (or a spurious wake-up).
    void Wait(std::condition_variable& condition) REQUIRES(this)
    {
        std::unique_lock<std::mutex> lock(mutex, std::adopt_lock);
        condition.wait(lock);
        lock.release();
    }
    // The same, returning at `deadline` at the latest.
    template <typename TimePoint>
    void WaitUntil(std::condition_variable& condition, TimePoint deadline) REQUIRES(this)
    {
        std::unique_lock<std::mutex> lock(mutex, std::adopt_lock);
        condition.wait_until(lock, deadline);
        lock.release();
    }

private:
    std::mutex mutex;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock
{
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex(mutex) { mutex.Lock(); }
    ~MutexLock() RELEASE() { mutex.Unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex;
};
