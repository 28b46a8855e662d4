#pragma once
#include <chrono>
#include <cstddef>
#include <unordered_map>

struct MHD_Connection;

namespace Rest
{
    // Keeps slow clients from holding the server's connections: each request must arrive
    // whole within `requestArrival` of the moment its connection opened or the previous reply
    // on it was sent. A connection that trickles its request, or idles, longer is closed, so a
    // handful of addresses cannot occupy every slot for as long as they like.
    class ConnectionGuard
    {
    public:
        using Clock = std::chrono::steady_clock;
        static constexpr auto requestArrival = std::chrono::seconds(10);

        void Opened(MHD_Connection* connection, Clock::time_point now);
        void Closed(MHD_Connection* connection);
        // A whole request is in: while it is answered its connection is not due.
        void RequestArrived(MHD_Connection* connection);
        // The reply went out: the next request on the connection is due in `requestArrival`.
        void ReplySent(MHD_Connection* connection, Clock::time_point now);

        // Shuts the sockets of the connections whose request is overdue; the library closes
        // them on its next pass. Returns how many were shut.
        size_t CloseOverdue(Clock::time_point now);
        // How long, at most `limit`, until the next request falls due.
        std::chrono::milliseconds TimeUntilNextDue(Clock::time_point now, std::chrono::milliseconds limit) const;

    private:
        struct Connection
        {
            Clock::time_point due;
            bool answering = false;
            bool shut = false;
        };
        std::unordered_map<MHD_Connection*, Connection> connections;
    };
}
