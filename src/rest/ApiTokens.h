#pragma once
#include <cstddef>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace Rest
{
    // The app tokens that scripts, phone shortcuts and podcast apps send instead of the password:
    // "pelko_" and 32 random bytes in base64url, handed out once, when made. The server keeps
    // only each token's SHA-256, with its name, scope and times of creation and last use, in
    // FileLayout::tokensFile (mode 0600, replaced atomically). Main thread only.
    class ApiTokens
    {
    public:
        static constexpr size_t maxTokens = 100;
        static constexpr size_t maxNameBytes = 100;
        static constexpr const char* prefix = "pelko_";
        // A use is written to the file only when the last one written is older than this, so that
        // a podcast app polling its feed does not rewrite the file on every request.
        static constexpr time_t lastUseResolution = 60;

        enum SCOPE
        {
            FULL,   // everything a logged-in browser may do
            FEEDS,  // the podcast feeds and the downloads they point to, nothing else
        };
        // "full" and "feeds".
        static const char* ScopeName(SCOPE scope);
        static std::optional<SCOPE> ScopeNamed(const std::string& name);

        // What anyone may know of a token: everything but the token.
        struct Description
        {
            std::string name;
            SCOPE scope = FULL;
            time_t created = 0;
            time_t last_used = 0;  // 0: never
        };

        // Reads the file; an unreadable file is logged and leaves no token.
        static void PreInit();
        // Writes last uses that are not in the file yet.
        static void PostExit();

        // Why a change was not made; an empty problem when it was.
        struct Refusal
        {
            std::string problem;    // a sentence
            bool notSaved = false;  // the file could not be written: nothing was changed
        };
        // A new token named `name`, whose text goes to `token`; refused when the name is empty,
        // too long or taken, when there are too many tokens, or when the file cannot be written.
        static Refusal Create(const std::string& name, SCOPE scope, time_t now, std::string& token);
        // Refused when no token has the name or the file cannot be written.
        static Refusal Revoke(const std::string& name);
        // Every token, oldest first.
        static std::vector<Description> List();
        // The scope of the token `text`, with its use noted, or nothing when it is no token of
        // ours. Takes as long for any text of a token's length, whichever token it matches.
        static std::optional<SCOPE> Check(const std::string& text, time_t now);
    };
}
