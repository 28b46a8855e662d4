#pragma once
#include <atomic>
#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <thread>

namespace Rest
{
    // The slow password hashes, run off the main thread while their requests are held: a burst
    // of wrong guesses must not stall the server for everyone else. At most `maxRunning` run at
    // once (each takes a fraction of a second and tens of MB), the others wait their turn; an
    // address may have only `maxPerAddress` waiting or running. Owned and driven by the main thread.
    class PasswordChecks
    {
    public:
        static constexpr size_t maxRunning = 2;
        static constexpr size_t maxPerAddress = 2;

        struct Check
        {
            std::string address;
            std::string password;
            std::string hash;  // the setting when the check began
            // Written by the hashing thread before `ended`, read by the main thread after it.
            bool matches = false;
            std::atomic<bool> ended = false;
        };

        PasswordChecks() = default;
        PasswordChecks(const PasswordChecks&) = delete;
        PasswordChecks& operator=(const PasswordChecks&) = delete;
        // Waits for the hashes still running.
        ~PasswordChecks();

        // A check of `password` against `hash` for a client at `address`, started as soon as a
        // place is free; null when the address has as many under way as it may.
        std::shared_ptr<const Check> Start(const std::string& address, const std::string& password,
                                           const std::string& hash);
        // One pass of the main loop: finished hashes are joined, waiting ones started.
        void Update();

    private:
        struct Run
        {
            std::shared_ptr<Check> check;
            std::thread thread;  // not started while the check waits
        };
        std::list<Run> runs;  // oldest first
    };
}
