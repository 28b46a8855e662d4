#include "rest/Reply.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;

Reply Reply::Of(HTTP_STATUS_CODE code)
{
    return {code, RestResponseTemplates::GetByCode(code, "")};
}

Reply Reply::WithMessage(HTTP_STATUS_CODE code, const std::string& message)
{
    Reply reply = Of(code);
    reply.Set("message") = message;
    return reply;
}

Reply Reply::Rendered(Text text)
{
    return {OK, std::move(text)};
}

Reply Reply::Streamed(Stream stream)
{
    return {OK, std::move(stream)};
}

Reply Reply::Held(HeldReply held)
{
    return {OK, std::move(held)};
}

Ostrel::JsonData& Reply::Set(const std::string& member)
{
    return std::get<Ostrel::JsonBlock>(body).Set(member);
}
