#pragma once
#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

// The one way the server asks other HTTP servers for something (libcurl): the updater's
// downloads and the notifications' webhooks. Safe to use from any thread; blocks until the
// answer is in, the time is up or `*stop` turns true, so it belongs off the main thread.
class HttpClient
{
public:
    struct Request
    {
        std::string url;  // http:// or https://; certificates are always checked
        bool post = false;
        std::string body;                  // posted when `post`
        std::vector<std::string> headers;  // "Name: value"
        size_t limit = 1024 * 1024;        // the largest answer taken
        long timeoutSeconds = 600;         // for the whole exchange
        long connectTimeoutSeconds = 30;
        // Slower than 1 KiB/s for a minute ends the transfer (long downloads).
        bool abortWhenStalled = false;
        bool followRedirectsToHttps = false;
        const std::atomic<bool>* stop = nullptr;
    };

    enum OUTCOME
    {
        ANSWERED,  // `status` and `body` hold the answer, whatever its status
        TOO_LARGE,
        STOPPED,
        FAILED,  // no answer: `error` says why
    };

    struct Response
    {
        OUTCOME outcome = FAILED;
        long status = 0;
        std::string body;
        std::string error;
    };

    static Response Perform(const Request& request);
};
