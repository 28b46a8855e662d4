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

    // Where Update reads the time and how it waits; replaceable so that tests need not sleep.
    static std::function<time_t()> clock;
    static std::function<void(unsigned int milliseconds)> wait;
};
