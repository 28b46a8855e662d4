#pragma once
#include <ctime>
#include <functional>

// Throttles the main loop while no client is active: once the last request is more
// than ten seconds old, every pass ends with a three-second wait.
class Idler
{
public:
    static constexpr time_t idleAfterSeconds = 10;
    static constexpr unsigned int idleWaitMilliseconds = 3000;

    static void Update();

    // How Update waits; replaceable so that the HTTP server can wait for requests instead.
    static std::function<void(unsigned int milliseconds)> wait;
};
