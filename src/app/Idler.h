#pragma once
#include <ctime>
#include <functional>

// Throttles the main loop while no client is active: once the last request is more
// than ten seconds old, every pass ends with a wait of up to three seconds.
class Idler
{
public:
    static constexpr time_t idleAfterSeconds = 10;
    static constexpr unsigned int idleWaitMilliseconds = 3000;

    static void Update();

    // How Update waits; replaceable so that tests need not wait at all. By default it
    // spends the time in `waitForRequests` when the frame has set one, else it sleeps.
    static std::function<void(unsigned int milliseconds)> wait;
    // The HTTP server's poll, set by the frame: a request that arrives while the server
    // idles is then answered at once rather than after the wait.
    static std::function<void(unsigned int milliseconds)> waitForRequests;
};
