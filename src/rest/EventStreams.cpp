#include "rest/EventStreams.h"
#include <algorithm>
#include <cstring>
#include <vector>
#include <microhttpd.h>
#include <poll.h>
#include <sys/socket.h>
#include "downloader/DownloadManager.h"
#include "json/Json.h"
#include "logging/LogHistory.h"
#include "subscriptions/SubscriptionManager.h"

using namespace Rest;

namespace
{
    // Told first, so that the browser's reconnection waits a little and the headers go out at once.
    const std::string streamStart = "retry: 3000\n\n";
    const std::string heartbeat = ": still here\n\n";
    constexpr size_t readBlockSize = 16 * 1024;

    std::string Removed(const char* idLabel, const std::string& id)
    {
        Ostrel::JsonBlock gone;
        gone.Set(idLabel) = id;
        gone.Set("removed") = true;
        return gone.Render(0, true);
    }
}

struct EventStreams::Stream
{
    EventStreams* owner;
    MHD_Connection* connection;
    std::string pending;
    size_t sent = 0;  // of `pending`, the bytes already handed to the library
    bool suspended = false;
    bool dropped = false;

    size_t Unsent() const { return pending.size() - sent; }

    // What the library sends next; with nothing to send, the connection rests until Send.
    static ssize_t Read(void* self, uint64_t, char* buffer, size_t max)
    {
        auto* stream = static_cast<Stream*>(self);
        if (stream->dropped)
            return MHD_CONTENT_READER_END_WITH_ERROR;
        if (stream->Unsent() == 0)
        {
            if (stream->owner != nullptr && stream->owner->closing)
                return MHD_CONTENT_READER_END_OF_STREAM;
            MHD_suspend_connection(stream->connection);
            stream->suspended = true;
            return 0;
        }
        const size_t count = std::min(max, stream->Unsent());
        std::memcpy(buffer, stream->pending.data() + stream->sent, count);
        stream->sent += count;
        if (stream->sent == stream->pending.size())
        {
            stream->pending.clear();
            stream->sent = 0;
        }
        return static_cast<ssize_t>(count);
    }

    // The response is gone with its connection.
    static void Ended(void* self)
    {
        auto* stream = static_cast<Stream*>(self);
        if (stream->owner != nullptr)
            stream->owner->Forget(stream);
        else
            delete stream;
    }
};

EventStreams::EventStreams()
    : self(std::make_shared<EventStreams*>(this))
{
}

EventStreams::~EventStreams()
{
    *self = nullptr;
    // Responses the library still holds free their streams themselves.
    for (std::unique_ptr<Stream>& stream : streams)
        stream.release()->owner = nullptr;
}

void EventStreams::Listen()
{
    using Downloader::DOWNLOAD_EVENT;
    const std::shared_ptr<EventStreams*> target = self;
    Downloader::DownloadManager::AddEventListener([target](DOWNLOAD_EVENT event, const Downloader::DownloadEntry& entry) {
        if (*target == nullptr)
            return;
        const bool gone = event == DOWNLOAD_EVENT::REMOVED;
        const bool last = gone || event == DOWNLOAD_EVENT::FINISHED || event == DOWNLOAD_EVENT::FAILED ||
                          event == DOWNLOAD_EVENT::CANCELLED;
        (*target)->EntryChanged(entry.pelko_id,
                                gone ? Removed("pelko_id", entry.pelko_id) : entry.GetAsJson().Render(0, true),
                                event == DOWNLOAD_EVENT::PROGRESSED, last);
    });
    Logging::LogHistory::AddListener([target](const Logging::LogEntry& entry) {
        if (*target != nullptr)
            (*target)->Publish("log", entry.GetAsJson().Render(0, true));
    });
    Subscriptions::SubscriptionManager::AddObserver(
        [target](Subscriptions::CHANGE change, const Subscriptions::Subscription& subscription) {
            if (*target != nullptr)
                (*target)->Publish("subscriptions", change == Subscriptions::CHANGE::REMOVED
                                                        ? Removed("id", subscription.id)
                                                        : subscription.GetAsJson().Render(0, true));
        });
}

void EventStreams::Open(MHD_Connection* connection)
{
    auto stream = std::make_unique<Stream>(Stream{this, connection, streamStart});
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, readBlockSize, &Stream::Read, stream.get(), &Stream::Ended);
    if (response == nullptr)
        return;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream; charset=utf-8");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    // A proxy in front (nginx) would otherwise hold the events back until its buffer fills.
    MHD_add_response_header(response, "X-Accel-Buffering", "no");
    streams.push_back(std::move(stream));
    MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
}

void EventStreams::Update(Clock::time_point now)
{
    EndHungUp();
    for (auto& [id, entry] : progress)
        if (!entry.unsent.empty() && now - entry.lastSent >= progressInterval)
        {
            entry.lastSent = now;
            Publish("entry", std::exchange(entry.unsent, {}));
        }
    if (now - lastHeartbeat >= heartbeatInterval)
    {
        lastHeartbeat = now;
        Send(heartbeat);
    }
}

std::chrono::milliseconds EventStreams::TimeUntilDue(Clock::time_point now, std::chrono::milliseconds limit) const
{
    if (streams.empty())
        return limit;
    const auto until = [now](Clock::time_point due) {
        return std::max(std::chrono::milliseconds(0), std::chrono::ceil<std::chrono::milliseconds>(due - now));
    };
    auto wait = std::min(limit, until(lastHeartbeat + heartbeatInterval));
    for (const auto& [id, entry] : progress)
        if (!entry.unsent.empty())
            wait = std::min(wait, until(entry.lastSent + progressInterval));
    return wait;
}

void EventStreams::CloseAll()
{
    closing = true;
    for (const std::unique_ptr<Stream>& stream : streams)
        if (stream->suspended)
        {
            stream->suspended = false;
            MHD_resume_connection(stream->connection);
        }
}

bool EventStreams::HasStreams() const
{
    return !streams.empty();
}

size_t EventStreams::Count() const
{
    return streams.size();
}

void EventStreams::Publish(const std::string& name, const std::string& data)
{
    if (!streams.empty())
        Send("event: " + name + "\ndata: " + data + "\n\n");
}

void EventStreams::Send(const std::string& text)
{
    for (const std::unique_ptr<Stream>& stream : streams)
    {
        if (stream->dropped)
            continue;
        if (stream->Unsent() + text.size() > maxPendingBytes)
        {
            Drop(*stream);
            continue;
        }
        stream->pending += text;
        if (stream->suspended)
        {
            stream->suspended = false;
            MHD_resume_connection(stream->connection);
        }
    }
}

void EventStreams::Drop(Stream& stream)
{
    stream.dropped = true;
    std::string().swap(stream.pending);
    stream.sent = 0;
    if (stream.suspended)
    {
        stream.suspended = false;
        MHD_resume_connection(stream.connection);
        return;
    }
    // Its socket is full: the library, which would wait for room, sees the shut socket and closes it.
    const MHD_ConnectionInfo* info = MHD_get_connection_info(stream.connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info != nullptr)
        shutdown(info->connect_fd, SHUT_RDWR);
}

void EventStreams::EndHungUp()
{
    std::vector<pollfd> sockets;
    std::vector<Stream*> watched;
    for (const std::unique_ptr<Stream>& stream : streams)
    {
        if (!stream->suspended || stream->dropped)
            continue;
        const MHD_ConnectionInfo* info = MHD_get_connection_info(stream->connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (info == nullptr)
            continue;
        sockets.push_back({info->connect_fd, POLLRDHUP, 0});
        watched.push_back(stream.get());
    }
    if (sockets.empty() || poll(sockets.data(), sockets.size(), 0) <= 0)
        return;
    for (size_t n = 0; n < sockets.size(); ++n)
        if (sockets[n].revents & (POLLRDHUP | POLLHUP | POLLERR))
            Drop(*watched[n]);
}

void EventStreams::EntryChanged(const std::string& id, std::string data, bool isProgress, bool isLast)
{
    if (streams.empty())
    {
        progress.erase(id);
        return;
    }
    const Clock::time_point now = Clock::now();
    if (isProgress)
    {
        Progress& entry = progress[id];
        if (now - entry.lastSent < progressInterval)
        {
            entry.unsent = std::move(data);
            return;
        }
        entry.lastSent = now;
        entry.unsent.clear();
    }
    else if (isLast)
        progress.erase(id);
    else if (const auto waiting = progress.find(id); waiting != progress.end())
        // A change of stage shows the progress that waits as well.
        waiting->second.unsent.clear();
    Publish("entry", data);
}

void EventStreams::Forget(Stream* stream)
{
    std::erase_if(streams, [stream](const std::unique_ptr<Stream>& open) { return open.get() == stream; });
}
