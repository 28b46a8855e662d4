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

    // 500 when the file could not be written, else 400.
    Reply ReplyRefused(const ApiTokens::Refusal& refusal)
    {
        const HTTP_STATUS_CODE code = refusal.notSaved ? INTERNAL_SERVER_ERROR : BAD_REQUEST;
        return {code, RestResponseTemplates::GetByCode(code, refusal.problem)};
    }
}

Reply RestQueryHandler::CreateApiToken(const Ostrel::JsonBlock& request)
{
    Refusal refusal;
    if ((refusal = RequireField("name", Ostrel::STRING, request)) ||
        (refusal = RequireField("scope", Ostrel::STRING, request)))
        return std::move(*refusal);
    const std::string name = request.Get("name").GetStringData();
    const auto scope = ApiTokens::ScopeNamed(request.Get("scope").GetStringData());
    if (!scope)
        return Refuse("The scope of an app token is \"full\" or \"feeds\".");
    // Without a password every client that the access rule admits is trusted anyway.
    if (!Authentication::IsPasswordSet())
        return Refuse("Set a password first: without one, no app needs a token.");

    std::string token;
    const ApiTokens::Refusal notCreated = ApiTokens::Create(name, *scope, Clock::now(), token);
    if (!notCreated.problem.empty())
        return ReplyRefused(notCreated);
    log->stream << "Created the app token \"" << name << "\" for " << ApiTokens::ScopeName(*scope) << " access.";
    log->Flush();
    Reply reply = Reply::WithMessage(OK, "Created the app token \"" + name + "\". Copy it now: it is shown only once.");
    reply.Set("token") = token;
    reply.Set("api_token") = TokenJson(ApiTokens::List().back());
    return reply;
}

Reply RestQueryHandler::FetchApiTokens(const Ostrel::JsonBlock&)
{
    Ostrel::JsonArray tokens;
    for (const ApiTokens::Description& token : ApiTokens::List())
        tokens.Add(TokenJson(token));
    Reply reply = Reply::Of(OK);
    reply.Set("api_tokens") = tokens;
    reply.Set("password_set") = Authentication::IsPasswordSet();
    return reply;
}

Reply RestQueryHandler::RevokeApiToken(const Ostrel::JsonBlock& request)
{
    if (Refusal refusal = RequireField("name", Ostrel::STRING, request))
        return std::move(*refusal);
    const std::string name = request.Get("name").GetStringData();
    const ApiTokens::Refusal notRevoked = ApiTokens::Revoke(name);
    if (!notRevoked.problem.empty())
        return ReplyRefused(notRevoked);
    log->stream << "Revoked the app token \"" << name << "\".";
    log->Flush();
    return Reply::WithMessage(OK, "Revoked the app token \"" + name + "\".");
}
