#pragma once
#include <cstdarg>
#include <cstddef>
#include <list>
#include <microhttpd.h>
#include <memory>
#include <optional>
#include <string>
#include "json/Json.h"
#include "logging/Logger.h"
#include "rest/ConnectionGuard.h"
#include "rest/EventStreams.h"
#include "rest/PasswordChecks.h"
#include "rest/HttpStatusCode.h"
#include "rest/ReplyStream.h"
#include "rest/RestQueryHandler.h"
#include "rest/StaticFileServer.h"
#include "rest/TlsCredentials.h"

namespace Rest
{
    // One request, collected from the pieces in which it arrives; handlers see it complete.
    struct HttpRequest
    {
        std::string method;
        std::string version;  // "HTTP/1.1", "HTTP/1.0"
        std::string uri;  // the path as the client sent it: no query string, not percent-decoded
        std::string body;
        bool bodyTooLarge = false;
        bool answered = false;
        unsigned int status = 0;  // of the reply, once it is queued
        // A held request's reply, made when it was ready and sent once the connection resumed.
        std::optional<Reply> preparedReply;
        // The check of the password it carries, while the access gate holds it.
        std::shared_ptr<const PasswordChecks::Check> passwordCheck;
    };

    // The network face of the server. It runs without a thread of its own: the main loop
    // calls Update once per pass and every request is handled inside that call. Each
    // request is admitted by the access rule and the access gate (host, site, password),
    // then routed: "/api" to the command interface, the download route (FileLayout) to finished downloads,
    // "/feeds/" to the podcast feeds, everything else to the front end.
    class HttpServer
    {
    public:
        // A cookies.txt of 1 MiB, sent as a JSON string whose tabs and line ends take two bytes.
        static constexpr size_t maxBodySize = 3 * 1024 * 1024;
        static constexpr unsigned int maxConnectionsPerClient = 32;
        // Sixteen addresses at their cap fill the server, so a few that hold all they may
        // always leave room for everyone else.
        static constexpr unsigned int maxConnections = 16 * maxConnectionsPerClient;
        static constexpr unsigned int connectionTimeoutSeconds = 30;

        HttpServer();  // allocates only: nothing listens before PostInit
        ~HttpServer();
        HttpServer(const HttpServer&) = delete;
        HttpServer& operator=(const HttpServer&) = delete;

        // How long one poll waits at most while requests are held, in milliseconds: their
        // replies go out this soon after they are ready.
        static constexpr unsigned int heldPollMilliseconds = 10;

        void PostInit();
        // Binds httpServer.port ("6969": every IPv4 interface; "127.0.0.1:6969": that address
        // only); false, with the error logged, when that is impossible. With a TLS certificate or
        // key set it speaks only HTTPS, and when they cannot be used it binds nothing at all
        // rather than letting passwords and cookies cross the network in clear text.
        bool InitWebServer();
        // True once the listener speaks HTTPS: cookies are then marked Secure.
        static bool SpeaksHttps();
        // Answers the held requests whose replies are ready, lets those whose password has been
        // checked through the gate again, sends the events that are due, then
        // Poll(httpServer.polling_rate), or a short poll while requests are held. Open event
        // streams keep the main loop from idling.
        void Update();
        // Handles what the network brings within `milliseconds`, returning early once
        // something was handled; without a listener it just waits.
        void Poll(unsigned int milliseconds);
        // Lets the replies already queued reach their clients (briefly), then closes everything;
        // the caller has answered every held request (their work must go on meanwhile).
        void OnExit();
        bool HasHeldRequests() const;

        // The access rule of the settings; `denialReason` is written only on refusal.
        static bool IsConnectionAllowed(std::string peerAddress, std::string& denialReason);
        // Writes one complete JSON reply: every byte of `body`, with the JSON content type and
        // `extraHeaders`. No reply invites other sites in (no Access-Control-Allow-Origin).
        static void ServeStringToConnection(MHD_Connection* connection, std::string body, int statusCode,
                                            const StaticFileServer::Headers& extraHeaders = {});
        // The same for a text that others keep too (a listing kept for the next request).
        static void ServeTextToConnection(MHD_Connection* connection, std::shared_ptr<const std::string> body,
                                          int statusCode, const StaticFileServer::Headers& extraHeaders = {});
        // The same for a text rendered while it is sent; its length is not told beforehand.
        static void ServeStreamToConnection(MHD_Connection* connection, std::shared_ptr<ReplyStream> stream,
                                            int statusCode);
        // The reply object rendered in the indented form, served with `code`.
        static void ServeReply(MHD_Connection* connection, const Ostrel::JsonBlock& reply, HTTP_STATUS_CODE code,
                               const StaticFileServer::Headers& extraHeaders = {});
        // Exactly `length` bytes from `data`, zero bytes included.
        static std::string FixUnterminatedString(const char* data, size_t length);
        // Answers the command, or holds the request (connection suspended) while the command waits.
        void ProcessAPIRequest(MHD_Connection* connection, HttpRequest& request, std::string requesterAddress);
        // Sends `reply` of whatever kind, or holds the request while it is a held one.
        void Answer(MHD_Connection* connection, HttpRequest& request, Reply reply);
        // A download's address: the finished file, streamed from disk as an attachment named
        // after the title; JSON 400 for an unknown or unfinished id, 404 when the file is gone
        // and for the route's bare name.
        static void ServeDownloadeableResource(MHD_Connection* connection, const HttpRequest& request);
        static constexpr const char* feedsPrefix = "/feeds/";
        static constexpr const char* eventsRoute = "/events";
        static constexpr const char* metricsRoute = "/metrics";

    private:
        static MHD_Result EventHandler(void* server, MHD_Connection* connection, const char* url, const char* method,
                                       const char* version, const char* uploadData, size_t* uploadDataSize,
                                       void** requestState);
        static void RequestCompleted(void* server, MHD_Connection* connection, void** requestState,
                                     MHD_RequestTerminationCode reason);
        static void ConnectionChanged(void* server, MHD_Connection* connection, void** socketState,
                                      MHD_ConnectionNotificationCode change);
        void HandleRequest(MHD_Connection* connection, HttpRequest& request);
        // Collects what the library says while the daemon starts (why a certificate was refused).
        static void CollectLibraryMessage(void* server, const char* format, va_list arguments);
        void ResumeReadyRequests();
        // Runs the library briefly until no more than `left` answered requests wait to go out.
        void DrainReplies(size_t left);

        // A request whose connection is suspended until its command's reply is ready.
        struct HeldRequest
        {
            MHD_Connection* connection;
            HttpRequest* request;
            HeldReply reply;
        };
        std::list<HeldRequest> heldRequests;
        // Requests whose connection is suspended until the access gate has checked their password.
        std::list<std::pair<MHD_Connection*, HttpRequest*>> gatedRequests;
        PasswordChecks passwordChecks;

        // The front-end directory as it was when the server started.
        static StaticFileServer frontend;

        MHD_Daemon* daemon = nullptr;
        static bool speaksHttps;
        // Kept while the daemon runs, which reads them from memory.
        std::unique_ptr<TlsCredentials> tls;
        std::string libraryMessages;  // while starting only
        bool starting = false;
        Logging::Logger* log = nullptr;
        bool isBootedSuccessfully = false;
        unsigned int unsentReplies = 0;  // answered requests whose reply is not out yet
        ConnectionGuard connectionGuard;
        // Outlives the daemon, whose responses call back into it until they are freed.
        EventStreams events;
    };
}
