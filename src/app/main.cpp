#include "app/Framework.h"

// Takes no arguments and reads no environment: everything comes from config.json.
int main()
{
    Framework framework;
    framework.Run();
    return 0;
}
