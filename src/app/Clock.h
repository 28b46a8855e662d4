#pragma once
#include <ctime>
#include <functional>

// The wall clock in whole seconds, as the throttles and autosaves read it. Tests
// replace it to step through time instead of sleeping.
namespace Clock
{
    extern std::function<time_t()> now;
}
