#pragma once
#include <string>
#include "json/Json.h"
#include "rest/HttpStatusCode.h"

namespace Rest
{
    // The reply objects every JSON answer starts from. Error templates hold "status":
    // "ERROR", a "description" naming the status and the "message"; all members are strings.
    class RestResponseTemplates
    {
    public:
        static Ostrel::JsonBlock OK();  // "status": "OK" only
        static Ostrel::JsonBlock BadRequest(std::string message);
        static Ostrel::JsonBlock Unauthorized(std::string message);
        static Ostrel::JsonBlock Forbidden(std::string message);
        static Ostrel::JsonBlock NotFound(std::string message);
        static Ostrel::JsonBlock PayloadTooLarge(std::string message);
        static Ostrel::JsonBlock MethodNotAllowed(std::string message);
        static Ostrel::JsonBlock MisdirectedRequest(std::string message);
        static Ostrel::JsonBlock TooManyRequests(std::string message);
        static Ostrel::JsonBlock InternalServerError(std::string message);
        static Ostrel::JsonBlock NotImplemented(std::string message);

        // The template of `code`, with the status's default message where `message` is
        // empty; a code without a template gives an internal server error saying so.
        static Ostrel::JsonBlock GetByCode(HTTP_STATUS_CODE code, std::string message);
    };
}
