#pragma once

namespace Rest
{
    // The HTTP statuses the front end answers with; every JSON reply starts from the
    // template of its status (RestResponseTemplates).
    enum HTTP_STATUS_CODE
    {
        OK = 200,
        BAD_REQUEST = 400,
        UNAUTHORIZED = 401,
        FORBIDDEN = 403,
        NOT_FOUND = 404,
        METHOD_NOT_ALLOWED = 405,
        PAYLOAD_TOO_LARGE = 413,
        MISDIRECTED_REQUEST = 421,
        TOO_MANY_REQUESTS = 429,
        INTERNAL_SERVER_ERROR = 500,
        NOT_IMPLEMENTED = 501
    };
}
