#include "app/Clock.h"

namespace Clock
{
    std::function<time_t()> now = [] { return time(nullptr); };
}
