#include "app/Idler.h"
#include <unistd.h>
#include "app/XGControl.h"

std::function<time_t()> Idler::clock = [] { return time(nullptr); };
std::function<void(unsigned int)> Idler::wait = [](unsigned int milliseconds) { usleep(milliseconds * 1000); };

void Idler::Update()
{
    if (clock() - XGControl::last_query_time > idleAfterSeconds)
        wait(idleWaitMilliseconds);
}
