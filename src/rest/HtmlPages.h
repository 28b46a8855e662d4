#pragma once
#include <string>

namespace Rest
{
    // The few pages the server writes itself, for a browser that cannot be let in to the
    // front end yet. Each is one self-contained document: no script, no other file.
    class HtmlPages
    {
    public:
        // The login form; it posts the password to "/login", which then leads to `next`.
        // `problem`, when not empty, says why the last attempt failed.
        static std::string LoginPage(const std::string& next, const std::string& problem);
        // For a request that named a host the server does not answer to.
        static std::string UnknownHostPage(const std::string& host);
        // The Content-Security-Policy these pages are served with.
        static std::string ContentSecurityPolicy();
        // `text` safe inside an element or a double-quoted attribute.
        static std::string Escape(const std::string& text);
    };
}
