#pragma once
#include <chrono>
#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

struct MHD_Connection;

namespace Rest
{
    // The open "/events" streams: server-sent events ("text/event-stream") of what happens while
    // they are open. "entry" carries a download's JSON form whenever it changes ({"pelko_id",
    // "removed": true} once it is gone), "log" every new log message, "subscriptions" a
    // subscription that changed ({"id", "removed": true} once it is gone); a comment line keeps
    // a quiet stream alive. No thread per client: a stream with nothing to send is suspended and
    // resumed when something comes. Main thread only.
    class EventStreams
    {
    public:
        static constexpr auto heartbeatInterval = std::chrono::seconds(15);
        // The progress of one download goes out at most this often; its other changes at once.
        static constexpr auto progressInterval = std::chrono::milliseconds(250);
        // What a stream may hold unsent. A client that reads nothing is dropped before that; it
        // loads the state anew when it comes back. A clear of 50,000 downloads fits.
        static constexpr size_t maxPendingBytes = 8 * 1024 * 1024;
        using Clock = std::chrono::steady_clock;

        EventStreams();
        ~EventStreams();
        EventStreams(const EventStreams&) = delete;
        EventStreams& operator=(const EventStreams&) = delete;

        // Starts taking in what the downloads, the log and the subscriptions tell.
        void Listen();
        // Answers the request on `connection` with a stream that stays open.
        void Open(MHD_Connection* connection);
        // Ends the streams whose client went away, sends the progress whose time has come and
        // the heartbeats that are due.
        void Update(Clock::time_point now);
        // How long, at most `limit`, until Update has something to send.
        std::chrono::milliseconds TimeUntilDue(Clock::time_point now, std::chrono::milliseconds limit) const;
        // Ends every stream once what it holds is sent; one opened after this ends at once.
        void CloseAll();
        bool HasStreams() const;
        // The streams still open (each counts as a reply not yet out).
        size_t Count() const;
        // Sends `data` (one line: no line end) as the event `name` to every stream.
        void Publish(const std::string& name, const std::string& data);

    private:
        struct Stream;
        struct Progress
        {
            Clock::time_point lastSent;
            std::string unsent;  // the newest data not yet sent; empty when none waits
        };
        void Send(const std::string& text);
        // Ends the stream at once; what it holds is lost.
        void Drop(Stream& stream);
        // The library does not watch a suspended connection: a client that went away would hold
        // its connection until the next heartbeat. Each pass looks for those.
        void EndHungUp();
        // A download's change: its progress waits for its turn, anything else goes at once.
        void EntryChanged(const std::string& id, std::string data, bool isProgress, bool isLast);
        void Forget(Stream* stream);

        std::list<std::unique_ptr<Stream>> streams;
        std::unordered_map<std::string, Progress> progress;
        Clock::time_point lastHeartbeat = Clock::now();
        bool closing = false;
        // Shared with the listeners, which outlive this object: cleared when it goes.
        std::shared_ptr<EventStreams*> self;
    };
}
