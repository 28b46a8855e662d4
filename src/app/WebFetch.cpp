#include "app/WebFetch.h"
#include <arpa/inet.h>
#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace
{
    std::string DescribeLimit(size_t bytes)
    {
        return bytes >= 1024 * 1024 ? std::to_string(bytes / (1024 * 1024)) + " MiB" : std::to_string(bytes / 1024) + " KiB";
    }

    struct Body
    {
        std::string data;
        size_t limit = 0;
        bool tooLarge = false;
        const std::atomic<bool>* stop = nullptr;
    };

    int StopWhenTold(void* target, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        const Body& body = *static_cast<const Body*>(target);
        return body.stop != nullptr && *body.stop ? 1 : 0;  // non-zero ends the transfer
    }

    size_t Append(char* bytes, size_t size, size_t count, void* target)
    {
        Body& body = *static_cast<Body*>(target);
        const size_t length = size * count;
        if (body.data.size() + length > body.limit)
        {
            body.tooLarge = true;
            return 0;  // ends the transfer
        }
        body.data.append(bytes, length);
        return length;
    }
}

bool WebFetch::IsSafeAddress(const std::string& url)
{
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
        return false;
    char* scheme = nullptr;
    char* host = nullptr;
    curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0);
    curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0);
    const std::string schemeText = scheme ? scheme : "";
    const std::string hostText = host ? host : "";
    curl_free(scheme);
    curl_free(host);

    if (schemeText == "https")
        return true;
    in_addr ipv4{};
    const bool loopback = hostText == "localhost" || hostText == "[::1]" ||
                          (inet_pton(AF_INET, hostText.c_str(), &ipv4) == 1 && (ntohl(ipv4.s_addr) >> 24) == 127);
    return schemeText == "http" && loopback;
}

std::optional<std::string> WebFetch::Get(const std::string& url, const Limits& limits, const std::atomic<bool>* stop,
                                         const std::string& stoppedText, std::string& content, long* status)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (status != nullptr)
        *status = 0;

    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
        return "Could not download " + url + ": libcurl could not start.";
    char error[CURL_ERROR_SIZE] = "";
    Body body;
    body.limit = limits.maxBytes;
    body.stop = stop;

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // Release folders redirect to the file's storage host; never to plain HTTP.
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    // Timeouts without signals: other threads of the server must not get them.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, limits.timeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1024L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Pelko");
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, StopWhenTold);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &body);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    const CURLcode result = curl_easy_perform(handle);
    if (result == CURLE_ABORTED_BY_CALLBACK)
        return stoppedText;
    if (body.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
        return "Could not download " + url + ": it is larger than " + DescribeLimit(limits.maxBytes) + ".";
    if (result != CURLE_OK)
        return "Could not download " + url + ": " + (error[0] ? error : curl_easy_strerror(result)) + ".";
    long answered = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &answered);
    if (status != nullptr)
        *status = answered;
    if (answered != 200)
        return "Could not download " + url + ": the server answered with HTTP status " + std::to_string(answered) + ".";
    content = std::move(body.data);
    return std::nullopt;
}
