#include "app/Idler.h"
#include <unistd.h>
#include "app/Clock.h"
#include "app/XGControl.h"

std::function<void(unsigned int)> Idler::waitForRequests;
std::function<void(unsigned int)> Idler::wait = [](unsigned int milliseconds) {
    if (waitForRequests)
        waitForRequests(milliseconds);
    else
        usleep(milliseconds * 1000);
};

void Idler::Update()
{
    if (Clock::now() - XGControl::last_query_time > idleAfterSeconds)
        wait(idleWaitMilliseconds);
}
