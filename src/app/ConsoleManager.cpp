#include "app/ConsoleManager.h"
#include "config/XGConfig.h"

Logging::Logger* ConsoleManager::log = nullptr;
bool ConsoleManager::isConsoleActive = false;

void ConsoleManager::PrePreInit()
{
}

void ConsoleManager::PreInit()
{
    log = new Logging::Logger("ConsoleManager");
    isConsoleActive = XGConfig::general.show_console;
}

void ConsoleManager::PostInit()
{
}

void ConsoleManager::PostExit()
{
    delete log;
    log = nullptr;
}

bool ConsoleManager::IsSupported()
{
    return false;
}

bool ConsoleManager::ShowConsole()
{
    return false;
}

bool ConsoleManager::HideConsole()
{
    return false;
}

bool ConsoleManager::IsConsoleShown()
{
    return isConsoleActive;
}
