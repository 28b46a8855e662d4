#include "config/XGConfig.h"
#include "rest/Authentication.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;

bool RestQueryHandler::SetPassword(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                   HTTP_STATUS_CODE& responseCode)
{
    if (!ValidateField("password", Ostrel::STRING, Ostrel::JsonData(request), responseBody))
    {
        responseCode = BAD_REQUEST;
        return false;
    }
    const std::string password = request.Get("password").GetStringData();
    if (password.size() > Authentication::maxPasswordBytes)
    {
        StartReply(BAD_REQUEST, responseBody, responseCode);
        responseBody.Set("message") =
            "The password may be at most " + std::to_string(Authentication::maxPasswordBytes) + " bytes long.";
        return false;
    }

    const std::string hash = password.empty() ? "" : Authentication::HashPassword(password);
    std::string problem;
    if (!XGConfig::ChangeAndSave([&hash] { XGConfig::access.password_hash = hash; }, problem))
        return ReplyNotSaved(problem, responseBody, responseCode);
    // Whoever logged in with the old password must log in again.
    Authentication::PasswordChanged();

    log->stream << (password.empty() ? "Removed the password." : "Set a new password.");
    log->Flush();
    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = password.empty() ? "The password has been removed." : "The password has been set.";
    return true;
}
