#include "notifications/WebhookSender.h"
#include <sodium.h>
#include "app/HttpClient.h"

using namespace Notifications;

std::string WebhookSender::Signature(const std::string& secret, const std::string& body)
{
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(secret.data()), secret.size());
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(body.data()), body.size());
    unsigned char mac[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256_final(&state, mac);
    char hex[crypto_auth_hmacsha256_BYTES * 2 + 1];
    sodium_bin2hex(hex, sizeof(hex), mac, sizeof(mac));
    return std::string("sha256=") + hex;
}

NotificationTarget::Attempt WebhookSender::Send(const std::string& url, const std::string& secret,
                                                const Notification& notification, const std::atomic<bool>* stop)
{
    HttpClient::Request request;
    request.url = url;
    request.post = true;
    request.body = notification.Body();
    request.headers = {"Content-Type: application/json", "X-Pelko-Event: " + notification.Event(),
                       // curl would wait for a "100 Continue" first.
                       "Expect:"};
    if (!secret.empty())
        request.headers.push_back("X-Pelko-Signature: " + Signature(secret, request.body));
    request.timeoutSeconds = timeoutSeconds;
    request.connectTimeoutSeconds = timeoutSeconds;
    request.limit = 64 * 1024;  // the answer is not read; a receiver may say a little
    request.stop = stop;

    const HttpClient::Response response = HttpClient::Perform(request);
    NotificationTarget::Attempt attempt;
    switch (response.outcome)
    {
    case HttpClient::ANSWERED:
        attempt.delivered = response.status >= 200 && response.status < 300;
        attempt.outcome = "HTTP " + std::to_string(response.status);
        break;
    case HttpClient::TOO_LARGE:
        attempt.outcome = "no answer: the receiver's answer was too long";
        break;
    case HttpClient::STOPPED:
        attempt.outcome = "not sent: the server is shutting down";
        break;
    case HttpClient::FAILED:
        attempt.outcome = "no answer: " + response.error;
        break;
    }
    return attempt;
}
