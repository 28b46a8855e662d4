#include "config/XGConfig.h"
#include "rest/Authentication.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;

Reply RestQueryHandler::SetPassword(const Ostrel::JsonBlock& request)
{
    if (Refusal refusal = RequireField("password", Ostrel::STRING, request))
        return std::move(*refusal);
    const std::string password = request.Get("password").GetStringData();
    if (password.size() > Authentication::maxPasswordBytes)
        return Refuse("The password may be at most " + std::to_string(Authentication::maxPasswordBytes) +
                      " bytes long.");

    const std::string hash = password.empty() ? "" : Authentication::HashPassword(password);
    std::string problem;
    if (!XGConfig::ChangeAndSave([&hash] { XGConfig::access.password_hash = hash; }, problem))
        return ReplyNotSaved(problem);
    // Whoever logged in with the old password must log in again.
    Authentication::PasswordChanged();

    log->stream << (password.empty() ? "Removed the password." : "Set a new password.");
    log->Flush();
    return Reply::WithMessage(OK, password.empty() ? "The password has been removed." : "The password has been set.");
}
