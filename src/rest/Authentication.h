#pragma once
#include <chrono>
#include <cstddef>
#include <string>

namespace Rest
{
    // The server's optional password (the setting access.password_hash): hashing, checking,
    // the slow-down of wrong guesses, and the sessions of browsers that logged in. Sessions
    // live in memory: a restart logs everyone out. Main thread only, but for MatchesHash.
    class Authentication
    {
    public:
        using Clock = std::chrono::steady_clock;

        static constexpr size_t maxPasswordBytes = 1024;
        // Wrong guesses in a row an address may make before each further guess must wait
        // (1 s after the third, doubling up to a minute).
        static constexpr unsigned int freeFailures = 3;
        static constexpr size_t maxSessions = 64;  // the oldest ends when one more logs in
        static constexpr const char* sessionCookie = "pelko_session";

        // A salted, deliberately slow hash of `password` (libsodium's crypto_pwhash_str).
        // Throws std::runtime_error when the machine cannot spare the memory it takes.
        static std::string HashPassword(const std::string& password);
        static bool IsPasswordSet();

        enum CHECK_RESULT
        {
            ACCEPTED,
            REFUSED,
            TOO_SOON,    // not checked: the address must wait (SecondsToWait)
            NEEDS_HASH,  // only the slow hash can tell: MatchesHash off the main thread, then FinishCheck
        };
        // The checks of a password that a client at `address` sent that take no time: the
        // address's back-off, and the password already verified (in constant time).
        static CHECK_RESULT StartCheck(const std::string& address, const std::string& password, Clock::time_point now);
        // The slow part: whether `password` is the one `hash` was made from. Safe on any thread.
        static bool MatchesHash(const std::string& hash, const std::string& password);
        // Takes in the outcome of MatchesHash against `hash` (the setting when the check began):
        // ACCEPTED, or REFUSED with a failure counted for `address` (none when the password
        // changed meanwhile: the guess was not against the password of now).
        static CHECK_RESULT FinishCheck(const std::string& address, const std::string& password, const std::string& hash,
                                        bool matches, Clock::time_point now);
        // The back-off alone, for credentials that need no slow hash (app tokens): whether
        // `address` must wait before its next guess is looked at, and a wrong guess counted.
        static bool MustWait(const std::string& address, Clock::time_point now);
        static void CountFailure(const std::string& address, Clock::time_point now);
        // Whole seconds, at least 1, until `address` may guess again.
        static int SecondsToWait(const std::string& address, Clock::time_point now);

        // A new session; its token is what the client's cookie carries.
        static std::string StartSession();
        static bool IsSession(const std::string& token);
        static void EndSession(const std::string& token);
        // After the password changed or went: every session ends and every slow-down is lifted.
        static void PasswordChanged();

        // The password of an "Authorization: Basic ..." header, whatever user name comes with
        // it; false when the header is not that.
        static bool PasswordFromBasic(const std::string& header, std::string& password);
    };
}
