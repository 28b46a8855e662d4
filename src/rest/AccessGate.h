#pragma once
#include <string>

struct MHD_Connection;

namespace Rest
{
    struct HttpRequest;
    class PasswordChecks;

    // What a request must pass after the address rule and before its route: it must name a
    // host the server answers to (else 421), must not come from another site (else 403) and,
    // with a password set, must carry the session cookie of a login, the password as HTTP Basic
    // credentials or an app token as "Authorization: Bearer" (else 401: a login page for a
    // browser, JSON for "/api" and scripts); the feeds and downloads also take "?token=". A token
    // for feeds only is refused elsewhere (403). The web app's manifest and icons need none.
    // The gate answers "/login" and "/logout" itself.
    class AccessGate
    {
    public:
        enum VERDICT
        {
            ADMITTED,  // the request goes on to its route
            ANSWERED,  // its reply has been queued
            HELD,      // a password is being checked in `checks`: ask again once request.passwordCheck ended
        };
        static VERDICT Admit(MHD_Connection* connection, HttpRequest& request, const std::string& peerAddress,
                             PasswordChecks& checks);

        // "/api", "/events" and "/metrics": what scripts and the page's own code ask for, never a
        // page to show. Their refusals are JSON, and a link from another site does not reach them.
        static bool IsInterfaceRoute(const std::string& uri);

        // `path` when it is a path of this server ("/...", not "//..." or "/\..."), else "/":
        // a redirect to it can never leave the site.
        static std::string LocalPath(const std::string& path);
        // The value of `name` in a form body ("a=1&b=x%20y"), decoded; empty when absent.
        static std::string FormField(const std::string& body, const std::string& name);
    };
}
