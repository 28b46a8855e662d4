#include "app/HttpClient.h"
#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace
{
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

HttpClient::Response HttpClient::Perform(const Request& request)
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    Response response;
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    if (!curl)
    {
        response.error = "libcurl could not start";
        return response;
    }
    std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr, curl_slist_free_all);
    for (const std::string& header : request.headers)
        headers.reset(curl_slist_append(headers.release(), header.c_str()));

    char error[CURL_ERROR_SIZE] = "";
    Body body;
    body.limit = request.limit;
    body.stop = request.stop;

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    if (request.followRedirectsToHttps)
    {
        curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
        curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    }
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    // Timeouts without signals: other threads of the server must not get them.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, request.connectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, request.timeoutSeconds);
    if (request.abortWhenStalled)
    {
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1024L);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, 60L);
    }
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.limit));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, "Pelko");
    if (request.post)
    {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    }
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, StopWhenTold);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &body);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);

    const CURLcode result = curl_easy_perform(handle);
    if (result == CURLE_ABORTED_BY_CALLBACK)
        response.outcome = STOPPED;
    else if (body.tooLarge || result == CURLE_FILESIZE_EXCEEDED)
        response.outcome = TOO_LARGE;
    else if (result != CURLE_OK)
        response.error = error[0] ? error : curl_easy_strerror(result);
    else
    {
        response.outcome = ANSWERED;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &response.status);
        response.body = std::move(body.data);
    }
    return response;
}
