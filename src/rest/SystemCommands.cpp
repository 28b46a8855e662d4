#include <iostream>
#include "app/ConsoleManager.h"
#include "app/XGControl.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;

namespace
{
    constexpr long double serverVersion = 0.53L;

#ifdef __linux__
    constexpr const char* osName = "Linux";
#else
    constexpr const char* osName = "Other";
#endif
}

Reply RestQueryHandler::KillYourself(const Ostrel::JsonBlock&)
{
    XGControl::keepServerRunning = false;
    log->stream << "Shutting down server upon client request...";
    log->Flush();
    return Reply::WithMessage(OK, "Goodbye! :3");
}

Reply RestQueryHandler::Example_Foo(const Ostrel::JsonBlock&)
{
    std::cout << "Bar!" << std::endl;
    return Reply::WithMessage(OK, "Bar!");
}

Reply RestQueryHandler::GetOSName(const Ostrel::JsonBlock&)
{
    log->stream << "Asking for server OS name...";
    log->Flush();
    Reply reply = Reply::Of(OK);
    reply.Set("os_name") = osName;
    return reply;
}

Reply RestQueryHandler::GetServerVersion(const Ostrel::JsonBlock&)
{
    Reply reply = Reply::Of(OK);
    reply.Set("server_version").SetFloatData(serverVersion);
    return reply;
}

Reply RestQueryHandler::ShowConsole(const Ostrel::JsonBlock&)
{
    return SetConsoleShown(true);
}

Reply RestQueryHandler::HideConsole(const Ostrel::JsonBlock&)
{
    return SetConsoleShown(false);
}

Reply RestQueryHandler::SetConsoleShown(bool shown)
{
    if (!ConsoleManager::IsSupported())
        return Reply::WithMessage(NOT_IMPLEMENTED, "This feature is currently only supported on Windows! Make sure "
                                                   "to compile with preprocessor directive _WIN!");

    log->stream << (shown ? "Showing console..." : "Hiding console...");
    log->Flush();
    const bool changed = shown ? ConsoleManager::ShowConsole() : ConsoleManager::HideConsole();
    if (shown)
        return Reply::WithMessage(OK, changed ? "Console is now shown!" : "Console was already shown!");
    return Reply::WithMessage(OK, changed ? "Console is now hidden!" : "Console was already hidden!");
}
