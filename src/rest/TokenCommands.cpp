#include "app/Clock.h"
#include "rest/ApiTokens.h"
#include "rest/Authentication.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;

namespace
{
    Ostrel::JsonBlock TokenJson(const ApiTokens::Description& token)
    {
        Ostrel::JsonBlock json;
        json.Set("name") = token.name;
        json.Set("scope") = ApiTokens::ScopeName(token.scope);
        json.Set("created") = static_cast<long long>(token.created);
        json.Set("last_used") = static_cast<long long>(token.last_used);
        return json;
    }

    // 500 when the file could not be written, else 400; false, the result of a refused command.
    bool ReplyRefused(const ApiTokens::Refusal& refusal, Ostrel::JsonBlock& responseBody,
                      HTTP_STATUS_CODE& responseCode)
    {
        responseCode = refusal.notSaved ? INTERNAL_SERVER_ERROR : BAD_REQUEST;
        responseBody.CloneFrom(RestResponseTemplates::GetByCode(responseCode, refusal.problem));
        return false;
    }
}

bool RestQueryHandler::CreateApiToken(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode)
{
    if (!RequireField("name", Ostrel::STRING, request, responseBody, responseCode) ||
        !RequireField("scope", Ostrel::STRING, request, responseBody, responseCode))
        return false;
    const std::string name = request.Get("name").GetStringData();
    const auto scope = ApiTokens::ScopeNamed(request.Get("scope").GetStringData());
    if (!scope)
        return Refuse("The scope of an app token is \"full\" or \"feeds\".", responseBody, responseCode);
    // Without a password every client that the access rule admits is trusted anyway.
    if (!Authentication::IsPasswordSet())
        return Refuse("Set a password first: without one, no app needs a token.", responseBody, responseCode);

    std::string token;
    const ApiTokens::Refusal refusal = ApiTokens::Create(name, *scope, Clock::now(), token);
    if (!refusal.problem.empty())
        return ReplyRefused(refusal, responseBody, responseCode);
    log->stream << "Created the app token \"" << name << "\" for " << ApiTokens::ScopeName(*scope) << " access.";
    log->Flush();
    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = "Created the app token \"" + name + "\". Copy it now: it is shown only once.";
    responseBody.Set("token") = token;
    responseBody.Set("api_token") = TokenJson(ApiTokens::List().back());
    return true;
}

bool RestQueryHandler::FetchApiTokens(const Ostrel::JsonBlock&, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode)
{
    StartReply(OK, responseBody, responseCode);
    Ostrel::JsonArray tokens;
    for (const ApiTokens::Description& token : ApiTokens::List())
        tokens.Add(TokenJson(token));
    responseBody.Set("api_tokens") = tokens;
    responseBody.Set("password_set") = Authentication::IsPasswordSet();
    return true;
}

bool RestQueryHandler::RevokeApiToken(const Ostrel::JsonBlock& request, Ostrel::JsonBlock& responseBody,
                                      HTTP_STATUS_CODE& responseCode)
{
    if (!RequireField("name", Ostrel::STRING, request, responseBody, responseCode))
        return false;
    const std::string name = request.Get("name").GetStringData();
    const ApiTokens::Refusal refusal = ApiTokens::Revoke(name);
    if (!refusal.problem.empty())
        return ReplyRefused(refusal, responseBody, responseCode);
    log->stream << "Revoked the app token \"" << name << "\".";
    log->Flush();
    StartReply(OK, responseBody, responseCode);
    responseBody.Set("message") = "Revoked the app token \"" + name + "\".";
    return true;
}
