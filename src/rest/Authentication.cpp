#include "rest/Authentication.h"
#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <sodium.h>
#include <stdexcept>
#include <vector>
#include "config/XGConfig.h"

using namespace Rest;

namespace
{
    using Clock = Authentication::Clock;
    using Digest = std::array<unsigned char, 32>;

    constexpr size_t tokenBytes = 32;
    constexpr auto longestWait = std::chrono::seconds(60);
    constexpr size_t maxTrackedAddresses = 4096;
    constexpr auto forgetFailuresAfter = std::chrono::minutes(10);

    struct Failures
    {
        unsigned int count = 0;
        Clock::time_point last;
    };

    using Token = std::array<unsigned char, tokenBytes>;

    std::map<std::string, Failures> failuresByAddress;
    std::vector<Token> sessions;  // oldest first

    // The slow hash costs a noticeable fraction of a second, so a password once accepted is
    // remembered as a keyed digest: a later request with it is checked at once, and a wrong one
    // still takes the slow path and counts as a failure.
    Digest digestKey{};
    std::string verifiedHash;
    Digest verifiedDigest{};

    void InitSodium()
    {
        static const bool ready = [] {
            if (sodium_init() < 0)
                throw std::runtime_error("The cryptography library could not be initialised.");
            randombytes_buf(digestKey.data(), digestKey.size());
            return true;
        }();
        (void)ready;
    }

    Digest DigestOf(const std::string& password)
    {
        Digest digest{};
        crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const unsigned char*>(password.data()),
                           password.size(), digestKey.data(), digestKey.size());
        return digest;
    }

    Clock::duration WaitAfter(const Failures& failures)
    {
        if (failures.count < Authentication::freeFailures)
            return Clock::duration::zero();
        const unsigned int doublings = std::min(failures.count - Authentication::freeFailures, 6u);
        return std::min<Clock::duration>(std::chrono::seconds(1 << doublings), longestWait);
    }

    void RecordFailure(const std::string& address, Clock::time_point now)
    {
        if (failuresByAddress.size() >= maxTrackedAddresses && failuresByAddress.count(address) == 0)
        {
            std::erase_if(failuresByAddress, [now](const auto& item) { return now - item.second.last > forgetFailuresAfter; });
            if (failuresByAddress.size() >= maxTrackedAddresses)
                failuresByAddress.erase(std::min_element(
                    failuresByAddress.begin(), failuresByAddress.end(),
                    [](const auto& a, const auto& b) { return a.second.last < b.second.last; }));
        }
        Failures& failures = failuresByAddress[address];
        ++failures.count;
        failures.last = now;
    }

    bool DecodeToken(const std::string& text, Token& token)
    {
        size_t length = 0;
        return text.size() == tokenBytes * 2 &&
               sodium_hex2bin(token.data(), token.size(), text.data(), text.size(), nullptr, &length, nullptr) == 0 &&
               length == tokenBytes;
    }
}

std::string Authentication::HashPassword(const std::string& password)
{
    InitSodium();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("The password could not be hashed: the server is short of memory.");
    return hash;
}

bool Authentication::IsPasswordSet()
{
    return !XGConfig::access.password_hash.empty();
}

Authentication::CHECK_RESULT Authentication::StartCheck(const std::string& address, const std::string& password,
                                                         Clock::time_point now)
{
    InitSodium();
    if (MustWait(address, now))
        return TOO_SOON;
    const std::string& hash = XGConfig::access.password_hash;
    if (hash.empty())
        return REFUSED;
    if (hash == verifiedHash &&
        sodium_memcmp(DigestOf(password).data(), verifiedDigest.data(), verifiedDigest.size()) == 0)
    {
        failuresByAddress.erase(address);
        return ACCEPTED;
    }
    return NEEDS_HASH;
}

bool Authentication::MatchesHash(const std::string& hash, const std::string& password)
{
    return hash.size() < crypto_pwhash_STRBYTES &&
           crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

Authentication::CHECK_RESULT Authentication::FinishCheck(const std::string& address, const std::string& password,
                                                          const std::string& hash, bool matches, Clock::time_point now)
{
    if (hash != XGConfig::access.password_hash)
        return REFUSED;
    if (!matches)
    {
        RecordFailure(address, now);
        return REFUSED;
    }
    verifiedHash = hash;
    verifiedDigest = DigestOf(password);
    failuresByAddress.erase(address);
    return ACCEPTED;
}

bool Authentication::MustWait(const std::string& address, Clock::time_point now)
{
    const auto found = failuresByAddress.find(address);
    return found != failuresByAddress.end() && now < found->second.last + WaitAfter(found->second);
}

void Authentication::CountFailure(const std::string& address, Clock::time_point now)
{
    RecordFailure(address, now);
}

int Authentication::SecondsToWait(const std::string& address, Clock::time_point now)
{
    const auto found = failuresByAddress.find(address);
    if (found == failuresByAddress.end())
        return 1;
    const auto left = found->second.last + WaitAfter(found->second) - now;
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
    return static_cast<int>(std::max<decltype(seconds)>(seconds, 1));
}

std::string Authentication::StartSession()
{
    InitSodium();
    Token token{};
    randombytes_buf(token.data(), token.size());
    if (sessions.size() >= maxSessions)
        sessions.erase(sessions.begin());
    sessions.push_back(token);

    char hex[tokenBytes * 2 + 1];
    sodium_bin2hex(hex, sizeof(hex), token.data(), token.size());
    return hex;
}

bool Authentication::IsSession(const std::string& token)
{
    Token presented{};
    if (!DecodeToken(token, presented))
        return false;
    // Every session is compared in full, so the time taken tells nothing about any token.
    bool found = false;
    for (const Token& session : sessions)
        found |= sodium_memcmp(session.data(), presented.data(), tokenBytes) == 0;
    return found;
}

void Authentication::EndSession(const std::string& token)
{
    Token presented{};
    if (!DecodeToken(token, presented))
        return;
    std::erase_if(sessions, [&presented](const Token& session) {
        return sodium_memcmp(session.data(), presented.data(), tokenBytes) == 0;
    });
}

void Authentication::PasswordChanged()
{
    sessions.clear();
    failuresByAddress.clear();
    verifiedHash.clear();
    sodium_memzero(verifiedDigest.data(), verifiedDigest.size());
}

bool Authentication::PasswordFromBasic(const std::string& header, std::string& password)
{
    InitSodium();
    const std::string scheme = "basic ";
    if (header.size() <= scheme.size())
        return false;
    std::string start = header.substr(0, scheme.size());
    std::transform(start.begin(), start.end(), start.begin(), [](unsigned char c) { return std::tolower(c); });
    if (start != scheme)
        return false;

    const size_t begin = header.find_first_not_of(' ', scheme.size());
    const size_t end = header.find_last_not_of(' ');
    if (begin == std::string::npos)
        return false;
    const std::string encoded = header.substr(begin, end + 1 - begin);
    std::vector<unsigned char> decoded(encoded.size());
    size_t length = 0;
    if (sodium_base642bin(decoded.data(), decoded.size(), encoded.data(), encoded.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0)
        return false;
    const std::string credentials(reinterpret_cast<const char*>(decoded.data()), length);
    const size_t colon = credentials.find(':');
    if (colon == std::string::npos)
        return false;
    password = credentials.substr(colon + 1);
    return true;
}
