#include "rest/ConnectionGuard.h"
#include <algorithm>
#include <microhttpd.h>
#include <sys/socket.h>

using namespace Rest;

void ConnectionGuard::Opened(MHD_Connection* connection, Clock::time_point now)
{
    connections[connection] = {now + requestArrival};
}

void ConnectionGuard::Closed(MHD_Connection* connection)
{
    connections.erase(connection);
}

void ConnectionGuard::RequestArrived(MHD_Connection* connection)
{
    const auto found = connections.find(connection);
    if (found != connections.end())
        found->second.answering = true;
}

void ConnectionGuard::ReplySent(MHD_Connection* connection, Clock::time_point now)
{
    const auto found = connections.find(connection);
    if (found != connections.end())
        found->second = {now + requestArrival};
}

size_t ConnectionGuard::CloseOverdue(Clock::time_point now)
{
    size_t shut = 0;
    for (auto& [connection, state] : connections)
    {
        if (state.answering || state.shut || now < state.due)
            continue;
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (info != nullptr)
            shutdown(info->connect_fd, SHUT_RDWR);
        state.shut = true;
        ++shut;
    }
    return shut;
}

std::chrono::milliseconds ConnectionGuard::TimeUntilNextDue(Clock::time_point now,
                                                            std::chrono::milliseconds limit) const
{
    auto wait = limit;
    for (const auto& [connection, state] : connections)
        if (!state.answering && !state.shut)
            wait = std::min(wait, std::max(std::chrono::milliseconds(0),
                                           std::chrono::ceil<std::chrono::milliseconds>(state.due - now)));
    return wait;
}
