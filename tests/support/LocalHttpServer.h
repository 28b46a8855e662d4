#pragma once
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace TestSupport
{
    // A small HTTP server on 127.0.0.1, on a port of its own, that answers fixed replies from a
    // thread of its own, one connection at a time, and keeps the head of every request. It plays
    // the hosts that the server's outgoing requests go to, so that no test leaves the machine.
    class LocalHttpServer
    {
    public:
        struct Reply
        {
            int status = 200;
            std::string body;
            // With a value below the body's size, only that many bytes of it follow the headers
            // (which announce the whole body) before the connection closes: a cut transfer.
            size_t sentBytes = std::string::npos;
        };

        LocalHttpServer();
        ~LocalHttpServer();
        LocalHttpServer(const LocalHttpServer&) = delete;
        LocalHttpServer& operator=(const LocalHttpServer&) = delete;

        // Answers GET `path` with `reply` from now on; any other path gets 404.
        void Serve(const std::string& path, Reply reply);
        // "http://127.0.0.1:<port>" followed by `path`.
        std::string Url(const std::string& path) const;
        // The request line and headers of every request so far, in order.
        std::vector<std::string> RequestHeads() const;

    private:
        void Run();
        void Answer(int connection);

        int listener = -1;
        int port = 0;
        int wake[2] = {-1, -1};  // closing the writing end stops the thread
        mutable std::mutex mutex;
        std::map<std::string, Reply> replies;  // guarded by mutex
        std::vector<std::string> heads;        // guarded by mutex
        std::thread thread;
    };

    // A port on 127.0.0.1 that nothing listens on right now.
    int UnusedLoopbackPort();

    // While it lives, no proxy that the environment names comes between this process (or the
    // programs it starts) and a LocalHttpServer.
    class DirectConnections
    {
    public:
        DirectConnections();
        ~DirectConnections();
        DirectConnections(const DirectConnections&) = delete;
        DirectConnections& operator=(const DirectConnections&) = delete;

    private:
        std::vector<std::pair<std::string, std::string>> savedProxies;
    };
}
