#include "app/StopSignals.h"
#include <atomic>
#include <csignal>

namespace
{
    // Lock-free, so the handler may touch it; read by the main thread.
    std::atomic<bool> received = false;
    static_assert(std::atomic<bool>::is_always_lock_free);

    void OnStopSignal(int signal)
    {
        if (received)
        {
            // The default action ends the process once this handler returns.
            std::signal(signal, SIG_DFL);
            std::raise(signal);
            return;
        }
        received = true;
    }
}

void StopSignals::Install()
{
    struct sigaction action{};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the main loop's wait for the network returns at once.
    action.sa_flags = 0;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

bool StopSignals::Received()
{
    return received;
}
