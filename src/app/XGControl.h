#pragma once
#include <ctime>

// Process-wide values shared by the frame and the HTTP front end. Main thread only.
namespace XGControl
{
    extern bool keepServerRunning;  // the main loop runs while this is set; "kill_yourself" clears it
    extern time_t boot_time;        // when the process started; selects the current run's entries
    extern time_t last_query_time;  // when the last HTTP request arrived; starts one day in the past
}
