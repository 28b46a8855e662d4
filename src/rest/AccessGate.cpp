#include "rest/AccessGate.h"
#include <algorithm>
#include <optional>
#include <strings.h>
#include <microhttpd.h>
#include "app/Clock.h"
#include "app/FileLayout.h"
#include "config/XGConfig.h"
#include "rest/ApiTokens.h"
#include "rest/Authentication.h"
#include "rest/HtmlPages.h"
#include "rest/HttpServer.h"
#include "rest/RestResponseTemplates.h"
#include "rest/SiteRules.h"
#include "rest/StaticFileServer.h"

using namespace Rest;

namespace
{
    // Over HTTPS the browser must never send the session over plain HTTP to the same name.
    std::string CookieAttributes()
    {
        return std::string("; Path=/; HttpOnly; SameSite=Strict") + (HttpServer::SpeaksHttps() ? "; Secure" : "");
    }

    std::string Header(MHD_Connection* connection, const char* name)
    {
        const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
        return value == nullptr ? "" : value;
    }

    // How many Host headers the request carries: one name may stand more than once.
    int HostHeaders(MHD_Connection* connection)
    {
        int count = 0;
        MHD_get_connection_values(
            connection, MHD_HEADER_KIND,
            [](void* counter, MHD_ValueKind, const char* key, const char*) {
                if (strcasecmp(key, MHD_HTTP_HEADER_HOST) == 0)
                    ++*static_cast<int*>(counter);
                return MHD_YES;
            },
            &count);
        return count;
    }

    std::string SessionToken(MHD_Connection* connection)
    {
        const char* value = MHD_lookup_connection_value(connection, MHD_COOKIE_KIND, Authentication::sessionCookie);
        return value == nullptr ? "" : value;
    }

    // Browsers send Sec-Fetch-* headers; a browser must not be offered HTTP Basic, or it shows
    // its own password prompt instead of the page's.
    bool IsBrowser(MHD_Connection* connection)
    {
        return !Header(connection, "Sec-Fetch-Mode").empty();
    }

    void Send(MHD_Connection* connection, unsigned int status, const char* contentType, const std::string& body,
              const StaticFileServer::Headers& extraHeaders)
    {
        MHD_Response* response =
            MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
        MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
        for (const auto& [name, value] : extraHeaders)
            MHD_add_response_header(response, name.c_str(), value.c_str());
        MHD_queue_response(connection, status, response);
        MHD_destroy_response(response);
    }

    void SendPage(MHD_Connection* connection, unsigned int status, const std::string& html,
                  StaticFileServer::Headers extraHeaders = {})
    {
        extraHeaders.push_back({"Content-Security-Policy", HtmlPages::ContentSecurityPolicy()});
        Send(connection, status, "text/html; charset=utf-8", html, extraHeaders);
    }

    // 303: the browser follows with a GET, so a reload does not post the form again.
    void Redirect(MHD_Connection* connection, const std::string& location, const std::string& cookie)
    {
        StaticFileServer::Headers headers = {{MHD_HTTP_HEADER_LOCATION, AccessGate::LocalPath(location)}};
        if (!cookie.empty())
            headers.push_back({MHD_HTTP_HEADER_SET_COOKIE, cookie});
        Send(connection, MHD_HTTP_SEE_OTHER, "text/plain; charset=utf-8", "303 See Other\n", headers);
    }

    StaticFileServer::Headers RetryAfter(const std::string& peerAddress)
    {
        return {{MHD_HTTP_HEADER_RETRY_AFTER,
                 std::to_string(Authentication::SecondsToWait(peerAddress, Authentication::Clock::now()))}};
    }

    std::string WaitMessage(const std::string& peerAddress)
    {
        return "Too many wrong passwords from your address. Try again in " +
               std::to_string(Authentication::SecondsToWait(peerAddress, Authentication::Clock::now())) + " s.";
    }

    void RefuseTooSoon(MHD_Connection* connection, const std::string& peerAddress)
    {
        HttpServer::ServeReply(connection, RestResponseTemplates::GetByCode(TOO_MANY_REQUESTS, WaitMessage(peerAddress)),
                               TOO_MANY_REQUESTS, RetryAfter(peerAddress));
    }

    // The path with its query as the client sent it (still percent-encoded): a login returns
    // there, so that an address shared to the page survives it.
    std::string PathWithQuery(MHD_Connection* connection, const std::string& path)
    {
        std::string query;
        MHD_get_connection_values(
            connection, MHD_GET_ARGUMENT_KIND,
            [](void* text, MHD_ValueKind, const char* key, const char* value) {
                std::string& out = *static_cast<std::string*>(text);
                out += (out.empty() ? "" : "&") + std::string(key) + (value == nullptr ? "" : "=" + std::string(value));
                return MHD_YES;
            },
            &query);
        return query.empty() ? path : path + "?" + query;
    }

    // The token of an "Authorization: Bearer ..." header; false when the header is not that.
    bool BearerToken(const std::string& header, std::string& token)
    {
        const std::string scheme = "bearer ";
        if (header.size() <= scheme.size() || strncasecmp(header.c_str(), scheme.c_str(), scheme.size()) != 0)
            return false;
        const size_t begin = header.find_first_not_of(' ', scheme.size());
        if (begin == std::string::npos)
            return false;
        token = header.substr(begin, header.find_last_not_of(' ') + 1 - begin);
        return true;
    }

    // What browsers fetch without the page's cookie to install the page as an app, and the icon
    // that podcast apps show: nothing in them is private.
    bool IsPublicFile(const std::string& uri)
    {
        return uri == "/manifest.webmanifest" || uri.starts_with("/icons/");
    }

    // What a podcast app fetches: the feeds and the downloads their items point to.
    bool IsForFeedApps(const std::string& uri)
    {
        return uri.starts_with(HttpServer::feedsPrefix) || FileLayout::IsDownloadRoute(uri);
    }

    // A wrong token counts as a wrong password; a right one does not lift the back-off, so a
    // token for feeds cannot make room for guessing the password.
    AccessGate::VERDICT AdmitToken(MHD_Connection* connection, const HttpRequest& request,
                                   const std::string& peerAddress, const std::string& token);

    // The verdict on a password sent with `request`: at once when no slow hash is needed;
    // otherwise a check starts and the request is held (no verdict) until it has ended, when
    // the gate is asked again and takes its outcome in. An address with as many checks under
    // way as it may have must wait like one that guessed wrong too often.
    std::optional<Authentication::CHECK_RESULT> Verdict(HttpRequest& request, const std::string& peerAddress,
                                                        const std::string& password, PasswordChecks& checks)
    {
        const auto now = Authentication::Clock::now();
        if (request.passwordCheck != nullptr)
        {
            const auto check = std::move(request.passwordCheck);
            return Authentication::FinishCheck(peerAddress, password, check->hash, check->matches, now);
        }
        const Authentication::CHECK_RESULT quick = Authentication::StartCheck(peerAddress, password, now);
        if (quick != Authentication::NEEDS_HASH)
            return quick;
        request.passwordCheck = checks.Start(peerAddress, password, XGConfig::access.password_hash);
        if (request.passwordCheck == nullptr)
            return Authentication::TOO_SOON;
        return std::nullopt;
    }

    // "/login": the form of the login page posts the password and where to go next.
    AccessGate::VERDICT HandleLogin(MHD_Connection* connection, HttpRequest& request, const std::string& peerAddress,
                                    PasswordChecks& checks)
    {
        const std::string next = AccessGate::LocalPath(AccessGate::FormField(request.body, "next"));
        if (!Authentication::IsPasswordSet())
        {
            Redirect(connection, next, "");
            return AccessGate::ANSWERED;
        }
        if (request.method != "POST")
        {
            SendPage(connection, MHD_HTTP_OK, HtmlPages::LoginPage(next, ""));
            return AccessGate::ANSWERED;
        }

        const auto verdict = Verdict(request, peerAddress, AccessGate::FormField(request.body, "password"), checks);
        if (!verdict)
            return AccessGate::HELD;
        switch (*verdict)
        {
        case Authentication::ACCEPTED:
            Redirect(connection, next,
                     std::string(Authentication::sessionCookie) + "=" + Authentication::StartSession() +
                         CookieAttributes());
            break;
        case Authentication::TOO_SOON:
            SendPage(connection, MHD_HTTP_TOO_MANY_REQUESTS, HtmlPages::LoginPage(next, WaitMessage(peerAddress)),
                     RetryAfter(peerAddress));
            break;
        default:
            SendPage(connection, MHD_HTTP_UNAUTHORIZED, HtmlPages::LoginPage(next, "Wrong password."));
        }
        return AccessGate::ANSWERED;
    }

    // Only a posted form logs out: a link from elsewhere (which the site rule lets through) must not.
    void HandleLogout(MHD_Connection* connection, const HttpRequest& request)
    {
        if (request.method != "POST")
            return Redirect(connection, "/", "");
        Authentication::EndSession(SessionToken(connection));
        Redirect(connection, "/", std::string(Authentication::sessionCookie) + "=; Max-Age=0" + CookieAttributes());
    }

    // Without a session: a browser loading a page gets the login form, everything else JSON.
    void RefuseWithoutPassword(MHD_Connection* connection, const HttpRequest& request, const std::string& message)
    {
        const bool loadsPage =
            !AccessGate::IsInterfaceRoute(request.uri) && (request.method == "GET" || request.method == "HEAD");
        if (loadsPage && IsBrowser(connection))
            return SendPage(connection, MHD_HTTP_UNAUTHORIZED, HtmlPages::LoginPage(PathWithQuery(connection, request.uri), ""));

        Ostrel::JsonBlock reply = RestResponseTemplates::GetByCode(UNAUTHORIZED, message);
        reply.Set("login_required") = true;
        StaticFileServer::Headers headers;
        if (!IsBrowser(connection))
            headers.push_back({MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Basic realm=\"Pelko\", charset=\"UTF-8\""});
        HttpServer::ServeReply(connection, reply, UNAUTHORIZED, headers);
    }

    AccessGate::VERDICT AdmitToken(MHD_Connection* connection, const HttpRequest& request,
                                   const std::string& peerAddress, const std::string& token)
    {
        const auto now = Authentication::Clock::now();
        if (Authentication::MustWait(peerAddress, now))
        {
            RefuseTooSoon(connection, peerAddress);
            return AccessGate::ANSWERED;
        }
        const auto scope = ApiTokens::Check(token, Clock::now());
        if (!scope)
        {
            Authentication::CountFailure(peerAddress, now);
            RefuseWithoutPassword(connection, request, "Wrong app token.");
            return AccessGate::ANSWERED;
        }
        if (*scope == ApiTokens::FEEDS && !IsForFeedApps(request.uri))
        {
            HttpServer::ServeReply(connection,
                                   RestResponseTemplates::GetByCode(
                                       FORBIDDEN, "This app token may only fetch podcast feeds and their downloads."),
                                   FORBIDDEN);
            return AccessGate::ANSWERED;
        }
        return AccessGate::ADMITTED;
    }
}

AccessGate::VERDICT AccessGate::Admit(MHD_Connection* connection, HttpRequest& request, const std::string& peerAddress,
                                      PasswordChecks& checks)
{
    // HTTP/1.1 requires exactly one Host; with two, each check could read another one.
    const int hostHeaders = HostHeaders(connection);
    if (hostHeaders > 1 || (hostHeaders == 0 && request.version == MHD_HTTP_VERSION_1_1))
    {
        HttpServer::ServeReply(connection,
                               RestResponseTemplates::GetByCode(
                                   BAD_REQUEST, hostHeaders > 1 ? "The request names its host more than once."
                                                                : "The request names no host."),
                               BAD_REQUEST);
        return ANSWERED;
    }
    const std::string host = Header(connection, MHD_HTTP_HEADER_HOST);
    if (!SiteRules::IsHostAllowed(host))
    {
        const std::string name = SiteRules::HostName(host).empty() ? host : SiteRules::HostName(host);
        if (IsInterfaceRoute(request.uri))
            HttpServer::ServeReply(connection,
                                   RestResponseTemplates::GetByCode(
                                       MISDIRECTED_REQUEST, "This server does not answer to the host name \"" + name +
                                                                "\". If it is the server's name, add it to the "
                                                                "setting \"access.allowed_hosts\"."),
                                   MISDIRECTED_REQUEST);
        else
            SendPage(connection, MHD_HTTP_MISDIRECTED_REQUEST, HtmlPages::UnknownHostPage(name));
        return ANSWERED;
    }

    const SiteRules::Request site = {request.method,
                                     host,
                                     Header(connection, MHD_HTTP_HEADER_ORIGIN),
                                     Header(connection, "Sec-Fetch-Site"),
                                     Header(connection, "Sec-Fetch-Mode"),
                                     Header(connection, "Sec-Fetch-Dest"),
                                     IsInterfaceRoute(request.uri)};
    if (SiteRules::IsCrossSite(site))
    {
        HttpServer::ServeReply(connection,
                               RestResponseTemplates::GetByCode(FORBIDDEN, "Cross-site requests are not accepted."),
                               FORBIDDEN);
        return ANSWERED;
    }

    if (request.uri == "/login")
        return HandleLogin(connection, request, peerAddress, checks);
    if (request.uri == "/logout")
    {
        HandleLogout(connection, request);
        return ANSWERED;
    }
    if (!Authentication::IsPasswordSet() || IsPublicFile(request.uri) ||
        Authentication::IsSession(SessionToken(connection)))
        return ADMITTED;

    // Podcast apps cannot send headers of their own: the feeds and their downloads also take
    // the token from the query.
    const std::string authorization = Header(connection, MHD_HTTP_HEADER_AUTHORIZATION);
    std::string token;
    if (BearerToken(authorization, token))
        return AdmitToken(connection, request, peerAddress, token);
    if (authorization.empty() && IsForFeedApps(request.uri))
    {
        const char* query = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "token");
        if (query != nullptr)
            return AdmitToken(connection, request, peerAddress, query);
    }

    std::string password;
    if (!Authentication::PasswordFromBasic(authorization, password))
    {
        RefuseWithoutPassword(connection, request,
                              "This server is protected by a password: log in, or send the password with HTTP "
                              "Basic authentication.");
        return ANSWERED;
    }
    const auto verdict = Verdict(request, peerAddress, password, checks);
    if (!verdict)
        return HELD;
    switch (*verdict)
    {
    case Authentication::ACCEPTED:
        return ADMITTED;
    case Authentication::TOO_SOON:
        RefuseTooSoon(connection, peerAddress);
        return ANSWERED;
    default:
        RefuseWithoutPassword(connection, request, "Wrong password.");
        return ANSWERED;
    }
}

bool AccessGate::IsInterfaceRoute(const std::string& uri)
{
    return uri == "/api" || uri == HttpServer::eventsRoute || uri == HttpServer::metricsRoute;
}

std::string AccessGate::LocalPath(const std::string& path)
{
    const bool local = path.size() >= 1 && path[0] == '/' && (path.size() == 1 || (path[1] != '/' && path[1] != '\\'));
    const bool plain = std::none_of(path.begin(), path.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; });
    return local && plain ? path : "/";
}

std::string AccessGate::FormField(const std::string& body, const std::string& name)
{
    size_t start = 0;
    while (start <= body.size())
    {
        const size_t end = std::min(body.find('&', start), body.size());
        const std::string pair = body.substr(start, end - start);
        start = end + 1;
        const size_t equals = pair.find('=');
        if (pair.substr(0, equals) != name)
            continue;
        std::string value = equals == std::string::npos ? "" : pair.substr(equals + 1);
        std::replace(value.begin(), value.end(), '+', ' ');
        std::string decoded;
        return StaticFileServer::PercentDecode(value, decoded) ? decoded : "";
    }
    return "";
}
