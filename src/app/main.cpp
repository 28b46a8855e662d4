#include "app/Framework.h"
#include "app/StopSignals.h"

// Takes no arguments and reads no environment: everything comes from config.json.
int main()
{
    StopSignals::Install();
    Framework framework;
    framework.Run();
    return 0;
}
