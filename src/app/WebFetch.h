#pragma once
#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

// Fetches one file over HTTPS (or plain HTTP from this machine) with libcurl: what the updater
// and the subscriptions' feeds read. Blocks, so it belongs on a thread of its own; safe from any.
class WebFetch
{
public:
    struct Limits
    {
        size_t maxBytes = 1024 * 1024;  // a larger body is refused
        long timeoutSeconds = 600;      // for the whole transfer
    };

    // True for an https:// address, and for an http:// one of this machine: anyone between the
    // server and another host could change what plain HTTP carries.
    static bool IsSafeAddress(const std::string& url);

    // The whole body at `url` into `content`; nothing, or a sentence that says what failed.
    // `status` gets the HTTP status (0 when there was no answer). Once `*stop` turns true, the
    // transfer ends with `stoppedText` as its sentence.
    static std::optional<std::string> Get(const std::string& url, const Limits& limits, const std::atomic<bool>* stop,
                                          const std::string& stoppedText, std::string& content, long* status = nullptr);
};
