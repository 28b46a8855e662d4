#include "rest/HttpServer.h"
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <climits>
#include <optional>
#include <stdexcept>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>
#include "app/Clock.h"
#include "app/FileLayout.h"
#include "app/Metrics.h"
#include "app/XGControl.h"
#include "config/SettingsTable.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "rest/AccessGate.h"
#include "rest/ContentDisposition.h"
#include "rest/FeedRoute.h"
#include "rest/MetricsPage.h"
#include "rest/ReplyStream.h"
#include "rest/RestQueryHandler.h"
#include "rest/RestResponseTemplates.h"

using namespace Rest;

StaticFileServer HttpServer::frontend;
bool HttpServer::speaksHttps = false;

namespace
{
    constexpr int drainRounds = 20;
    constexpr int drainRoundMilliseconds = 10;

    // "6969" listens on every IPv4 interface, "127.0.0.1:6969" on that address only.
    bool ParseListenAddress(const std::string& text, sockaddr_in& address)
    {
        address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        std::string host;
        uint16_t port = 0;
        if (!SettingsTable::SplitListenAddress(text, host, port))
            return false;
        if (!host.empty())
            inet_pton(AF_INET, host.c_str(), &address.sin_addr);
        address.sin_port = htons(port);
        return true;
    }

    // Routing and the static server need the path exactly as the client wrote it; the
    // library's own decoding would already turn "%00" into the end of the string.
    size_t KeepEscaped(void*, MHD_Connection*, char* text)
    {
        return strlen(text);
    }

    std::string PeerAddress(MHD_Connection* connection)
    {
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        if (info == nullptr || info->client_addr == nullptr)
            return "";
        char text[INET6_ADDRSTRLEN] = "";
        const sockaddr* address = info->client_addr;
        if (address->sa_family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof(text));
        else if (address->sa_family == AF_INET6)
            inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof(text));
        return text;
    }

    bool AnnouncesTooLargeBody(MHD_Connection* connection)
    {
        const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
        return length != nullptr && std::strtoull(length, nullptr, 10) > HttpServer::maxBodySize;
    }
}

HttpServer::HttpServer()
    : log(new Logging::Logger("HttpServer"))
{
}

HttpServer::~HttpServer()
{
    // The library must not be stopped with connections suspended.
    events.CloseAll();
    if (daemon != nullptr)
        MHD_stop_daemon(daemon);
    daemon = nullptr;
    delete log;
    log = nullptr;
}

void HttpServer::PostInit()
{
    isBootedSuccessfully = InitWebServer();
    events.Listen();
}

bool HttpServer::InitWebServer()
{
    const std::string port = XGConfig::httpServer.port;
    log->stream << "Starting http-server on port " << port << "...";
    log->Flush();

    // A client that hangs up in the middle of a reply must not end the process. Told so, the
    // library sends files with sendfile instead of reading them piece by piece.
    signal(SIGPIPE, SIG_IGN);

    unsigned int flags = MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    sockaddr_in address{};
    const bool listenable = ParseListenAddress(port, address);
    std::vector<MHD_OptionItem> options = {
        {MHD_OPTION_SOCK_ADDR, 0, &address},
        {MHD_OPTION_CONNECTION_LIMIT, maxConnections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, maxConnectionsPerClient, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, connectionTimeoutSeconds, nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&RequestCompleted), this},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&ConnectionChanged), this},
        {MHD_OPTION_UNESCAPE_CALLBACK, reinterpret_cast<intptr_t>(&KeepEscaped), nullptr},
        {MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, nullptr},
    };
    if (TlsCredentials::AreWanted())
    {
        std::string problem;
        tls = std::make_unique<TlsCredentials>();
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
            problem = "This build of libmicrohttpd has no TLS.";
        else
            tls->Load(problem);
        if (!problem.empty())
        {
            tls.reset();
            log->stream << log->Err() << "Failed to boot the http-server! - HTTPS is set up but cannot start: "
                        << problem << " Nothing listens: plain HTTP would show passwords and cookies to the network.";
            log->Flush();
            return false;
        }
        flags |= MHD_USE_TLS | MHD_USE_ERROR_LOG;
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(tls->Certificate().c_str())});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(tls->Key().c_str())});
        // The library wants its logger first, before any option that could already log.
        options.insert(options.begin(),
                       {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&CollectLibraryMessage), this});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});

    starting = true;
    if (listenable)
        daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &EventHandler, this, MHD_OPTION_ARRAY, options.data(),
                                  MHD_OPTION_END);
    starting = false;
    if (daemon == nullptr && tls != nullptr)
    {
        tls.reset();
        log->stream << log->Err() << "Failed to boot the http-server! - HTTPS could not start (port: " << port
                    << "): " << (libraryMessages.empty() ? std::string("no reason given.") : libraryMessages)
                    << " Nothing listens: plain HTTP would show passwords and cookies to the network.";
        log->Flush();
        return false;
    }
    if (daemon == nullptr)
    {
        log->stream << log->Err() << "Failed to boot the http-server! - Unable to bind listener! (port: " << port
                    << ")";
        log->Flush();
        return false;
    }
    libraryMessages.clear();

    speaksHttps = tls != nullptr;
    frontend = StaticFileServer(XGConfig::httpServer.rootdir, XGConfig::SecretFiles());
    log->stream << "Started http-server successfully!" << (speaksHttps ? " It speaks HTTPS only." : "");
    log->Flush();
    isBootedSuccessfully = true;
    return true;
}

bool HttpServer::SpeaksHttps()
{
    return speaksHttps;
}

void HttpServer::CollectLibraryMessage(void* server, const char* format, va_list arguments)
{
    auto* self = static_cast<HttpServer*>(server);
    if (!self->starting)
        return;
    char text[512];
    vsnprintf(text, sizeof(text), format, arguments);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    self->libraryMessages += (self->libraryMessages.empty() ? "" : " ") + line;
}

void HttpServer::Update()
{
    ResumeReadyRequests();
    const auto now = EventStreams::Clock::now();
    events.Update(now);
    unsigned int wait = static_cast<unsigned int>(std::max(0, XGConfig::httpServer.polling_rate));
    // A client waiting for its reply, or for events, is an active client: no idle pause meanwhile.
    if (HasHeldRequests() || events.HasStreams())
        XGControl::last_query_time = Clock::now();
    if (HasHeldRequests())
        wait = std::min(wait, heldPollMilliseconds);
    wait = static_cast<unsigned int>(events.TimeUntilDue(now, std::chrono::milliseconds(wait)).count());
    Poll(wait);
}

bool HttpServer::HasHeldRequests() const
{
    return !heldRequests.empty() || !gatedRequests.empty();
}

void HttpServer::ResumeReadyRequests()
{
    passwordChecks.Update();
    // The library calls the request handler again, which asks the gate again.
    std::erase_if(gatedRequests, [](const auto& gated) {
        if (!gated.second->passwordCheck->ended)
            return false;
        MHD_resume_connection(gated.first);
        return true;
    });

    for (auto held = heldRequests.begin(); held != heldRequests.end();)
    {
        try
        {
            if (!held->reply.isReady())
            {
                ++held;
                continue;
            }
            held->request->preparedReply = held->reply.make();
        }
        catch (const std::exception& e)
        {
            held->request->preparedReply =
                Reply{INTERNAL_SERVER_ERROR, RestResponseTemplates::GetByCode(INTERNAL_SERVER_ERROR, e.what())};
        }
        // The library calls the request handler again, which sends the prepared reply.
        MHD_resume_connection(held->connection);
        held = heldRequests.erase(held);
    }
}

void HttpServer::Poll(unsigned int milliseconds)
{
    if (daemon == nullptr)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    // The wait ends when the next slow request falls due, so it is closed on time.
    const auto wait = connectionGuard.TimeUntilNextDue(ConnectionGuard::Clock::now(),
                                                       std::chrono::milliseconds(std::min(milliseconds, 1000000u)));
    MHD_run_wait(daemon, static_cast<int32_t>(wait.count()));
    if (connectionGuard.CloseOverdue(ConnectionGuard::Clock::now()) > 0)
        MHD_run_wait(daemon, 0);
}

void HttpServer::OnExit()
{
    log->stream << "Shutting down http-server...";
    log->Flush();
    if (daemon == nullptr)
        return;

    // The last replies ("Goodbye! :3" above all) may still wait in their connections. They go
    // out before the event streams end: a page that saw its stream end first would ask again
    // and find no server.
    DrainReplies(events.Count());
    events.CloseAll();
    DrainReplies(0);
    MHD_stop_daemon(daemon);
    daemon = nullptr;
    tls.reset();
}

void HttpServer::DrainReplies(size_t left)
{
    for (int round = 0; round < drainRounds && unsentReplies > left; ++round)
        MHD_run_wait(daemon, drainRoundMilliseconds);
}

MHD_Result HttpServer::EventHandler(void* server, MHD_Connection* connection, const char* url, const char* method,
                                    const char* version, const char* uploadData, size_t* uploadDataSize, void** requestState)
{
    // Nothing may unwind into the library's C frames.
    try
    {
        auto* request = static_cast<HttpRequest*>(*requestState);
        if (request == nullptr)
        {
            request = new HttpRequest;
            request->method = method;
            request->version = version;
            request->uri = url;
            request->bodyTooLarge = AnnouncesTooLargeBody(connection);
            *requestState = request;
            // An announced oversized body is refused before any of it is read.
            if (!request->bodyTooLarge)
                return MHD_YES;
        }
        else if (*uploadDataSize > 0)
        {
            if (request->body.size() + *uploadDataSize > maxBodySize)
            {
                request->bodyTooLarge = true;
                std::string().swap(request->body);
            }
            if (!request->bodyTooLarge)
                request->body += FixUnterminatedString(uploadData, *uploadDataSize);
            *uploadDataSize = 0;
            return MHD_YES;
        }

        if (!request->answered)
        {
            request->answered = true;
            static_cast<HttpServer*>(server)->connectionGuard.RequestArrived(connection);
            ++static_cast<HttpServer*>(server)->unsentReplies;
            static_cast<HttpServer*>(server)->HandleRequest(connection, *request);
        }
        else if (request->passwordCheck != nullptr && request->passwordCheck->ended)
            static_cast<HttpServer*>(server)->HandleRequest(connection, *request);
        else if (request->preparedReply)
        {
            Reply reply = std::move(*request->preparedReply);
            request->preparedReply.reset();
            static_cast<HttpServer*>(server)->Answer(connection, *request, std::move(reply));
        }
        // The library forgets the status once the reply is out; the request counter needs it then.
        if (request->answered && request->status == 0)
            if (const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS))
                request->status = info->http_status;
        return MHD_YES;
    }
    catch (...)
    {
        return MHD_NO;
    }
}

void HttpServer::RequestCompleted(void* server, MHD_Connection* connection, void** requestState,
                                  MHD_RequestTerminationCode)
{
    auto* self = static_cast<HttpServer*>(server);
    auto* request = static_cast<HttpRequest*>(*requestState);
    if (request != nullptr && request->answered)
    {
        --self->unsentReplies;
        if (request->status != 0)
            Metrics::Count("pelko_http_requests_total", {{"route", MetricsPage::RouteName(request->uri)},
                                                         {"status", MetricsPage::StatusClass(request->status)}});
    }
    delete request;
    *requestState = nullptr;
    self->connectionGuard.ReplySent(connection, ConnectionGuard::Clock::now());
}

void HttpServer::ConnectionChanged(void* server, MHD_Connection* connection, void**,
                                   MHD_ConnectionNotificationCode change)
{
    auto& guard = static_cast<HttpServer*>(server)->connectionGuard;
    if (change == MHD_CONNECTION_NOTIFY_STARTED)
        guard.Opened(connection, ConnectionGuard::Clock::now());
    else
        guard.Closed(connection);
}

void HttpServer::HandleRequest(MHD_Connection* connection, HttpRequest& request)
{
    // Every request counts as activity, refused ones too: it keeps the main loop awake.
    XGControl::last_query_time = Clock::now();

    const std::string peerAddress = PeerAddress(connection);
    std::string denialReason;
    if (!IsConnectionAllowed(peerAddress, denialReason))
    {
        ServeReply(connection, RestResponseTemplates::GetByCode(UNAUTHORIZED, denialReason), UNAUTHORIZED);
        return;
    }
    if (request.bodyTooLarge)
    {
        ServeReply(connection,
                   RestResponseTemplates::GetByCode(
                       PAYLOAD_TOO_LARGE, "The request body is larger than " + std::to_string(maxBodySize) + " bytes!"),
                   PAYLOAD_TOO_LARGE);
        return;
    }

    try
    {
        switch (AccessGate::Admit(connection, request, peerAddress, passwordChecks))
        {
        case AccessGate::ANSWERED:
            return;
        case AccessGate::HELD:
            MHD_suspend_connection(connection);
            gatedRequests.emplace_back(connection, &request);
            return;
        case AccessGate::ADMITTED:
            break;
        }
        // "/api" reads its command from the body whatever the method, as clients have always
        // sent it; files and pages are only read.
        if (request.uri == "/api")
            ProcessAPIRequest(connection, request, peerAddress);
        else if (request.method != "GET" && request.method != "HEAD")
            ServeReply(connection,
                       RestResponseTemplates::GetByCode(METHOD_NOT_ALLOWED,
                                                        "The path \"" + request.uri + "\" takes only GET and HEAD."),
                       METHOD_NOT_ALLOWED, {{MHD_HTTP_HEADER_ALLOW, "GET, HEAD"}});
        else if (FileLayout::IsDownloadRoute(request.uri))
            ServeDownloadeableResource(connection, request);
        else if (request.uri.starts_with(feedsPrefix))
            FeedRoute::Serve(connection, request);
        else if (request.uri == eventsRoute)
            events.Open(connection);
        else if (request.uri == metricsRoute)
        {
            const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
            MetricsPage::Serve(connection, info == nullptr ? 0 : info->num_connections);
        }
        else
            frontend.Serve(connection, request.uri);
    }
    catch (const std::exception& e)
    {
        ServeReply(connection, RestResponseTemplates::GetByCode(INTERNAL_SERVER_ERROR, e.what()),
                   INTERNAL_SERVER_ERROR);
    }
    catch (...)
    {
        ServeReply(connection, RestResponseTemplates::GetByCode(INTERNAL_SERVER_ERROR, "Das not good"),
                   INTERNAL_SERVER_ERROR);
    }
}

bool HttpServer::IsConnectionAllowed(std::string peerAddress, std::string& denialReason)
{
    if (peerAddress == "127.0.0.1")
        return true;
    if (XGConfig::access.only_allow_localhost)
    {
        denialReason = "Only localhost allowed!";
        return false;
    }
    if (!XGConfig::access.enable_whitelist)
        return true;
    const auto& whitelist = XGConfig::access.whitelist;
    if (std::find(whitelist.begin(), whitelist.end(), peerAddress) != whitelist.end())
        return true;
    denialReason = "Not whitelisted! Ask your pelko administrator to whitelist '" + peerAddress +
                   "' in order to gain access.";
    return false;
}

void HttpServer::ServeStringToConnection(MHD_Connection* connection, std::string body, int statusCode,
                                         const StaticFileServer::Headers& extraHeaders)
{
    ServeTextToConnection(connection, std::make_shared<const std::string>(std::move(body)), statusCode, extraHeaders);
}

void HttpServer::ServeTextToConnection(MHD_Connection* connection, std::shared_ptr<const std::string> body,
                                       int statusCode, const StaticFileServer::Headers& extraHeaders)
{
    // The response holds a share of the body until it has been sent: a long listing is not copied.
    using Share = std::shared_ptr<const std::string>;
    auto* owned = new Share(std::move(body));
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        (*owned)->size(), const_cast<char*>((*owned)->data()), [](void* share) { delete static_cast<Share*>(share); },
        owned);
    if (response == nullptr)
    {
        delete owned;
        return;
    }
    MHD_add_response_header(response, "content-type", "application/json");
    for (const auto& [name, value] : extraHeaders)
        MHD_add_response_header(response, name.c_str(), value.c_str());
    MHD_queue_response(connection, static_cast<unsigned int>(statusCode), response);
    MHD_destroy_response(response);
}

void HttpServer::ServeStreamToConnection(MHD_Connection* connection, std::shared_ptr<ReplyStream> stream,
                                         int statusCode)
{
    using Share = std::shared_ptr<ReplyStream>;
    auto* owned = new Share(std::move(stream));
    // Read as the connection can take it, on the main thread inside the poll.
    MHD_Response* response = MHD_create_response_from_callback(
        MHD_SIZE_UNKNOWN, 64 * 1024,
        [](void* share, uint64_t, char* buffer, size_t max) -> ssize_t {
            const size_t read = (*static_cast<Share*>(share))->Read(buffer, max);
            return read > 0 ? static_cast<ssize_t>(read) : MHD_CONTENT_READER_END_OF_STREAM;
        },
        owned, [](void* share) { delete static_cast<Share*>(share); });
    if (response == nullptr)
    {
        delete owned;
        return;
    }
    MHD_add_response_header(response, "content-type", "application/json");
    MHD_queue_response(connection, static_cast<unsigned int>(statusCode), response);
    MHD_destroy_response(response);
}

void HttpServer::ServeReply(MHD_Connection* connection, const Ostrel::JsonBlock& reply, HTTP_STATUS_CODE code,
                            const StaticFileServer::Headers& extraHeaders)
{
    // The block renders as the value holding it would, without copying it into one.
    ServeStringToConnection(connection, reply.Render(0, false), code, extraHeaders);
}

std::string HttpServer::FixUnterminatedString(const char* data, size_t length)
{
    return data == nullptr ? std::string() : std::string(data, length);
}

void HttpServer::ProcessAPIRequest(MHD_Connection* connection, HttpRequest& request, std::string requesterAddress)
{
    // The validity test and the parse in one pass over the body.
    Ostrel::JsonData parsed;
    if (!parsed.TryParse(request.body))
    {
        ServeReply(connection, RestResponseTemplates::GetByCode(BAD_REQUEST, "Received json is fucked"), BAD_REQUEST);
        return;
    }

    Answer(connection, request, RestQueryHandler::ProcessQuery(requesterAddress, parsed));
}

void HttpServer::Answer(MHD_Connection* connection, HttpRequest& request, Reply reply)
{
    if (auto* object = std::get_if<Ostrel::JsonBlock>(&reply.body))
        ServeReply(connection, *object, reply.status);
    else if (auto* text = std::get_if<Reply::Text>(&reply.body))
        ServeTextToConnection(connection, std::move(*text), reply.status);
    else if (auto* stream = std::get_if<Reply::Stream>(&reply.body))
        ServeStreamToConnection(connection, std::move(*stream), reply.status);
    else
    {
        MHD_suspend_connection(connection);
        heldRequests.push_back({connection, &request, std::get<HeldReply>(std::move(reply.body))});
    }
}

void HttpServer::ServeDownloadeableResource(MHD_Connection* connection, const HttpRequest& request)
{
    using namespace Downloader;

    const std::optional<std::string> named = FileLayout::IdOfDownloadAddress(request.uri);
    if (!named)
    {
        ServeReply(connection,
                   RestResponseTemplates::GetByCode(NOT_FOUND, "The path \"" + request.uri + "\" names no download: ask for " +
                                                                   FileLayout::DownloadAddressForm() + "."),
                   NOT_FOUND);
        return;
    }
    const std::string& id = *named;
    if (!DownloadManager::DoesPelkoIDExist(id))
    {
        ServeReply(connection, RestResponseTemplates::GetByCode(BAD_REQUEST, "Invalid pelko id!"), BAD_REQUEST);
        return;
    }
    const DownloadEntry& entry = DownloadManager::GetDownloadEntryByPelkoID(id);
    if (entry.status != FINISHED)
    {
        ServeReply(connection, RestResponseTemplates::GetByCode(BAD_REQUEST, "File download not ready!"),
                   BAD_REQUEST);
        return;
    }

    const std::string extension = FormatChoice::Extension(entry.mode, entry.audio_format);
    const std::string fileName = entry.title + "." + extension;
    // "?inline=1" is for the page's player: the browser plays the file instead of saving it,
    // which needs the file's own media type. Saved, MP4 and MP3 are sent as they always were;
    // the other formats say what they are.
    const char* shown = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "inline");
    const bool inlined = shown != nullptr && std::string_view(shown) == "1";
    const std::string type = !inlined && (extension == "mp4" || extension == "mp3")
                                 ? "application/octet-stream"
                                 : FormatChoice::MediaType(entry.mode, entry.audio_format);
    const StaticFileServer::Headers headers = {
        {"Content-Disposition", inlined ? ContentDisposition::Inline(fileName) : ContentDisposition::Attachment(fileName)},
        {"Pragma", "public"},
        {"Cache-Control", "must-revalidate, post-check=0, pre-check=0"},
    };
    // Ranges are defined for GET only: a HEAD tells the size of the whole file.
    if (!StaticFileServer::ServeFile(connection, entry.downloaded_filename, type, headers,
                                     request.method == "GET"))
        ServeReply(connection,
                   RestResponseTemplates::GetByCode(NOT_FOUND, "The downloaded file is no longer in the cache!"),
                   NOT_FOUND);
}
