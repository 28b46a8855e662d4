#include "rest/RestResponseTemplates.h"

using namespace Rest;

namespace
{
    Ostrel::JsonBlock Error(const std::string& description, const std::string& message)
    {
        Ostrel::JsonBlock reply;
        reply.Set("status") = "ERROR";
        reply.Set("description") = description;
        reply.Set("message") = message;
        return reply;
    }

    std::string OrDefault(const std::string& message, const std::string& fallback)
    {
        return message.empty() ? fallback : message;
    }
}

Ostrel::JsonBlock RestResponseTemplates::OK()
{
    Ostrel::JsonBlock reply;
    reply.Set("status") = "OK";
    return reply;
}

Ostrel::JsonBlock RestResponseTemplates::BadRequest(std::string message)
{
    return Error("Bad request", message);
}

Ostrel::JsonBlock RestResponseTemplates::Unauthorized(std::string message)
{
    return Error("Unauthorized", message);
}

Ostrel::JsonBlock RestResponseTemplates::Forbidden(std::string message)
{
    return Error("Forbidden", message);
}

Ostrel::JsonBlock RestResponseTemplates::NotFound(std::string message)
{
    return Error("Not found", message);
}

Ostrel::JsonBlock RestResponseTemplates::PayloadTooLarge(std::string message)
{
    return Error("Payload too large", message);
}

Ostrel::JsonBlock RestResponseTemplates::MethodNotAllowed(std::string message)
{
    return Error("Method not allowed", message);
}

Ostrel::JsonBlock RestResponseTemplates::MisdirectedRequest(std::string message)
{
    return Error("Misdirected request", message);
}

Ostrel::JsonBlock RestResponseTemplates::TooManyRequests(std::string message)
{
    return Error("Too many requests", message);
}

Ostrel::JsonBlock RestResponseTemplates::InternalServerError(std::string message)
{
    return Error("Internal server error", message);
}

Ostrel::JsonBlock RestResponseTemplates::NotImplemented(std::string message)
{
    return Error("Not implemented", message);
}

Ostrel::JsonBlock RestResponseTemplates::GetByCode(HTTP_STATUS_CODE code, std::string message)
{
    switch (code)
    {
    case HTTP_STATUS_CODE::OK:
        return RestResponseTemplates::OK();
    case HTTP_STATUS_CODE::BAD_REQUEST:
        return BadRequest(message);
    case HTTP_STATUS_CODE::UNAUTHORIZED:
        return Unauthorized(OrDefault(message, "Unauthorized"));
    case HTTP_STATUS_CODE::FORBIDDEN:
        return Forbidden(OrDefault(message, "Forbidden!"));
    case HTTP_STATUS_CODE::NOT_FOUND:
        return NotFound(OrDefault(message, "not found"));
    case HTTP_STATUS_CODE::METHOD_NOT_ALLOWED:
        return MethodNotAllowed(OrDefault(message, "Method not allowed"));
    case HTTP_STATUS_CODE::PAYLOAD_TOO_LARGE:
        return PayloadTooLarge(OrDefault(message, "Request body too large"));
    case HTTP_STATUS_CODE::MISDIRECTED_REQUEST:
        return MisdirectedRequest(OrDefault(message, "Misdirected request"));
    case HTTP_STATUS_CODE::TOO_MANY_REQUESTS:
        return TooManyRequests(OrDefault(message, "Too many requests"));
    case HTTP_STATUS_CODE::INTERNAL_SERVER_ERROR:
        return InternalServerError(OrDefault(message, "Well, that's not good."));
    case HTTP_STATUS_CODE::NOT_IMPLEMENTED:
        return NotImplemented(message);
    }
    return InternalServerError("No template found for this http-status-code");
}
