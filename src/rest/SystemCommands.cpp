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

bool RestQueryHandler::KillYourself(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                    HTTP_STATUS_CODE& responseCode)
{
    XGControl::keepServerRunning = false;
    log->stream << "Shutting down server upon client request...";
    log->Flush();

    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = "Goodbye! :3";
    return true;
}

bool RestQueryHandler::Example_Foo(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                   HTTP_STATUS_CODE& responseCode)
{
    std::cout << "Bar!" << std::endl;
    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = "Bar!";
    return true;
}

bool RestQueryHandler::GetOSName(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                 HTTP_STATUS_CODE& responseCode)
{
    log->stream << "Asking for server OS name...";
    log->Flush();
    StartReply(OK, responseBody, responseCode);
    responseBody.Set("os_name") = osName;
    return true;
}

bool RestQueryHandler::GetServerVersion(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                        HTTP_STATUS_CODE& responseCode)
{
    StartReply(OK, responseBody, responseCode);
    responseBody.Set("server_version").SetFloatData(serverVersion);
    return true;
}

bool RestQueryHandler::ShowConsole(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                   HTTP_STATUS_CODE& responseCode)
{
    return SetConsoleShown(true, responseBody, responseCode);
}

bool RestQueryHandler::HideConsole(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                   HTTP_STATUS_CODE& responseCode)
{
    return SetConsoleShown(false, responseBody, responseCode);
}

bool RestQueryHandler::SetConsoleShown(bool shown, Ostrel::JsonBlock& responseBody, HTTP_STATUS_CODE& responseCode)
{
    if (!ConsoleManager::IsSupported())
    {
        StartReply(NOT_IMPLEMENTED, responseBody, responseCode);
        responseBody.Set("message") = "This feature is currently only supported on Windows! Make sure to compile "
                                      "with preprocessor directive _WIN!";
        return false;
    }

    log->stream << (shown ? "Showing console..." : "Hiding console...");
    log->Flush();
    const bool changed = shown ? ConsoleManager::ShowConsole() : ConsoleManager::HideConsole();
    StartReply(OK, responseBody, responseCode);
    if (shown)
        responseBody.Set("message") = changed ? "Console is now shown!" : "Console was already shown!";
    else
        responseBody.Set("message") = changed ? "Console is now hidden!" : "Console was already hidden!";
    return true;
}
