#pragma once
#include "logging/Logger.h"

// Showing or hiding a console window is a desktop facility that the Linux build does
// not offer; these operations keep the frame and the commands uniform.
class ConsoleManager
{
public:
    static void PrePreInit();
    static void PreInit();
    static void PostInit();
    static void PostExit();

    static bool IsSupported();     // false on Linux
    static bool ShowConsole();     // does nothing, false
    static bool HideConsole();     // does nothing, false
    static bool IsConsoleShown();  // the setting as read at start-up

private:
    static Logging::Logger* log;
    static bool isConsoleActive;
};
