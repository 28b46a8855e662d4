#include "app/XGControl.h"

namespace XGControl
{
    bool keepServerRunning = false;
    time_t boot_time = time(nullptr);
    // A day in the past, so the server starts out idle.
    time_t last_query_time = time(nullptr) - 86400;
}
