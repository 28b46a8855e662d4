#include "support/LocalHttpServer.h"
#include <algorithm>
#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace TestSupport
{
    namespace
    {
        // A socket bound to 127.0.0.1 on a port the system chose; the port goes to `port`.
        int BindLoopback(int& port)
        {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0)
                throw std::runtime_error("socket failed");
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof(address);
            if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
                getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            {
                close(fd);
                throw std::runtime_error("bind to 127.0.0.1 failed");
            }
            port = ntohs(address.sin_port);
            return fd;
        }

        void SendAll(int fd, const char* data, size_t size)
        {
            while (size > 0)
            {
                const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
                if (sent <= 0)
                    return;
                data += sent;
                size -= static_cast<size_t>(sent);
            }
        }
    }

    LocalHttpServer::LocalHttpServer()
    {
        listener = BindLoopback(port);
        if (listen(listener, 16) != 0)
        {
            close(listener);
            throw std::runtime_error("listen failed");
        }
        if (pipe2(wake, O_CLOEXEC) != 0)
        {
            close(listener);
            throw std::runtime_error("pipe failed");
        }
        thread = std::thread(&LocalHttpServer::Run, this);
    }

    LocalHttpServer::~LocalHttpServer()
    {
        close(wake[1]);  // ends the wait in Run at once
        thread.join();
        close(wake[0]);
        close(listener);
    }

    void LocalHttpServer::Serve(const std::string& path, Reply reply)
    {
        std::lock_guard<std::mutex> lock(mutex);
        replies[path] = std::move(reply);
    }

    std::string LocalHttpServer::Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(port) + path;
    }

    std::vector<std::string> LocalHttpServer::RequestHeads() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return heads;
    }

    void LocalHttpServer::Run()
    {
        while (true)
        {
            pollfd waiting[2] = {{listener, POLLIN, 0}, {wake[0], POLLIN, 0}};
            if (poll(waiting, 2, -1) <= 0)
                continue;
            if (waiting[1].revents != 0)
                return;
            const int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                continue;
            Answer(connection);
            close(connection);
        }
    }

    void LocalHttpServer::Answer(int connection)
    {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536)
        {
            const ssize_t received = recv(connection, buffer, sizeof(buffer), 0);
            if (received <= 0)
                return;
            head.append(buffer, static_cast<size_t>(received));
            // A TLS handshake, say, gets no answer: closing at once lets the client fail fast.
            if (head.front() < 'A' || head.front() > 'Z')
                return;
        }

        const size_t pathBegin = head.find(' ') + 1;
        const std::string path = head.substr(pathBegin, head.find(' ', pathBegin) - pathBegin);
        Reply reply{404, "not found\n"};
        {
            std::lock_guard<std::mutex> lock(mutex);
            heads.push_back(head.substr(0, head.find("\r\n\r\n")));
            const auto served = replies.find(path);
            if (served != replies.end())
                reply = served->second;
        }

        const std::string headers = "HTTP/1.1 " + std::to_string(reply.status) + " Test\r\nContent-Length: " +
                                    std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
        SendAll(connection, headers.data(), headers.size());
        SendAll(connection, reply.body.data(), std::min(reply.sentBytes, reply.body.size()));
    }

    int UnusedLoopbackPort()
    {
        int port = 0;
        close(BindLoopback(port));
        return port;
    }

    DirectConnections::DirectConnections()
    {
        for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY", "all_proxy"})
            if (const char* value = getenv(name))
            {
                savedProxies.emplace_back(name, value);
                unsetenv(name);
            }
    }

    DirectConnections::~DirectConnections()
    {
        for (const auto& [name, value] : savedProxies)
            setenv(name.c_str(), value.c_str(), 1);
    }
}
