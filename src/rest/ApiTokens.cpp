#include "rest/ApiTokens.h"
#include <array>
#include <cerrno>
#include <cstring>
#include <sodium.h>
#include <stdexcept>
#include "app/FileLayout.h"
#include "app/FileSystem.h"
#include "json/Json.h"
#include "logging/Logger.h"

using namespace Rest;

namespace
{
    using Digest = std::array<unsigned char, crypto_hash_sha256_BYTES>;

    constexpr size_t randomBytes = 32;
    constexpr mode_t privateFileMode = 0600;

    struct StoredToken
    {
        ApiTokens::Description description;
        Digest digest{};
        time_t savedLastUse = 0;  // last_used as the file has it
    };

    std::vector<StoredToken> tokens;  // oldest first
    Logging::Logger* log = nullptr;

    Digest DigestOf(const std::string& text)
    {
        Digest digest{};
        crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(text.data()), text.size());
        return digest;
    }

    std::string Hex(const Digest& digest)
    {
        char hex[crypto_hash_sha256_BYTES * 2 + 1];
        sodium_bin2hex(hex, sizeof(hex), digest.data(), digest.size());
        return hex;
    }

    bool FromHex(const std::string& hex, Digest& digest)
    {
        size_t length = 0;
        return hex.size() == digest.size() * 2 &&
               sodium_hex2bin(digest.data(), digest.size(), hex.data(), hex.size(), nullptr, &length, nullptr) == 0 &&
               length == digest.size();
    }

    Ostrel::JsonBlock Record(const StoredToken& token)
    {
        Ostrel::JsonBlock record;
        record.Set("name") = token.description.name;
        record.Set("scope") = ApiTokens::ScopeName(token.description.scope);
        record.Set("sha256") = Hex(token.digest);
        record.Set("created") = static_cast<long long>(token.description.created);
        record.Set("last_used") = static_cast<long long>(token.description.last_used);
        return record;
    }

    bool TakeRecord(const Ostrel::JsonData& element, StoredToken& token)
    {
        if (element.GetDataType() != Ostrel::JSON)
            return false;
        const Ostrel::JsonBlock& record = element.GetJsonData();
        const auto has = [&record](const char* member, Ostrel::JSON_DATA_TYPE type) {
            return record.DoesExist(member) && record.Get(member).GetDataType() == type;
        };
        if (!has("name", Ostrel::STRING) || !has("scope", Ostrel::STRING) || !has("sha256", Ostrel::STRING) ||
            !FromHex(record.Get("sha256").GetStringData(), token.digest))
            return false;
        const auto scope = ApiTokens::ScopeNamed(record.Get("scope").GetStringData());
        if (!scope)
            return false;
        token.description.name = record.Get("name").GetStringData();
        token.description.scope = *scope;
        if (has("created", Ostrel::INT))
            token.description.created = static_cast<time_t>(record.Get("created").GetIntData());
        if (has("last_used", Ostrel::INT))
            token.description.last_used = static_cast<time_t>(record.Get("last_used").GetIntData());
        token.savedLastUse = token.description.last_used;
        return true;
    }

    // On failure `refusal` says why the file could not be written.
    bool Save(ApiTokens::Refusal& refusal)
    {
        Ostrel::JsonArray records;
        for (const StoredToken& token : tokens)
            records.Add(Record(token));
        Ostrel::JsonBlock document;
        document.Set("tokens") = records;
        if (!FileSystem::WriteFile(FileLayout::tokensFile, document.Render(0, false), privateFileMode))
        {
            const std::string reason =
                "\"" + std::string(FileLayout::tokensFile) + "\" could not be written (" + std::strerror(errno) + ")";
            refusal = {"The app tokens could not be saved: " + reason + ". Nothing was changed.", true};
            log->stream << log->Err() << "Unable to save the app tokens: " << reason;
            log->Flush();
            return false;
        }
        for (StoredToken& token : tokens)
            token.savedLastUse = token.description.last_used;
        return true;
    }

    StoredToken* Named(const std::string& name)
    {
        for (StoredToken& token : tokens)
            if (token.description.name == name)
                return &token;
        return nullptr;
    }
}

const char* ApiTokens::ScopeName(SCOPE scope)
{
    return scope == FEEDS ? "feeds" : "full";
}

std::optional<ApiTokens::SCOPE> ApiTokens::ScopeNamed(const std::string& name)
{
    if (name == "full")
        return FULL;
    if (name == "feeds")
        return FEEDS;
    return std::nullopt;
}

void ApiTokens::PreInit()
{
    if (sodium_init() < 0)
        throw std::runtime_error("The cryptography library could not be initialised.");
    log = new Logging::Logger("ApiTokens");
    tokens.clear();
    if (!FileSystem::Exists(FileLayout::tokensFile))
        return;
    Ostrel::JsonData document;
    const std::string text = FileSystem::ReadFile(FileLayout::tokensFile);
    if (!document.TryParse(text) || document.GetDataType() != Ostrel::JSON ||
        !document.GetJsonData().DoesExist("tokens") ||
        document.GetJsonData().Get("tokens").GetDataType() != Ostrel::ARRAY)
    {
        log->stream << log->Err() << "Unable to read \"" << FileLayout::tokensFile << "\"! No app token is accepted.";
        log->Flush();
        return;
    }
    const Ostrel::JsonArray& records = document.GetJsonData().Get("tokens").GetArrayData();
    for (size_t i = 0; i < records.Size(); i++)
    {
        StoredToken token;
        if (TakeRecord(records.At(i), token) && Named(token.description.name) == nullptr)
            tokens.push_back(std::move(token));
    }
}

void ApiTokens::PostExit()
{
    bool unsaved = false;
    for (const StoredToken& token : tokens)
        unsaved |= token.description.last_used != token.savedLastUse;
    Refusal refusal;
    if (unsaved)
        Save(refusal);
    delete log;
    log = nullptr;
}

ApiTokens::Refusal ApiTokens::Create(const std::string& name, SCOPE scope, time_t now, std::string& token)
{
    Refusal refusal;
    if (name.empty())
        refusal.problem = "An app token needs a name.";
    else if (name.size() > maxNameBytes)
        refusal.problem = "The name of an app token may be at most " + std::to_string(maxNameBytes) + " bytes long.";
    else if (Named(name) != nullptr)
        refusal.problem = "An app token named \"" + name + "\" exists already.";
    else if (tokens.size() >= maxTokens)
        refusal.problem = "There are " + std::to_string(maxTokens) + " app tokens already: revoke one first.";
    if (!refusal.problem.empty())
        return refusal;

    unsigned char secret[randomBytes];
    randombytes_buf(secret, sizeof(secret));
    char encoded[sodium_base64_ENCODED_LEN(randomBytes, sodium_base64_VARIANT_URLSAFE_NO_PADDING)];
    sodium_bin2base64(encoded, sizeof(encoded), secret, sizeof(secret), sodium_base64_VARIANT_URLSAFE_NO_PADDING);
    sodium_memzero(secret, sizeof(secret));
    std::string text = std::string(prefix) + encoded;
    sodium_memzero(encoded, sizeof(encoded));

    StoredToken stored;
    stored.description = {name, scope, now, 0};
    stored.digest = DigestOf(text);
    tokens.push_back(stored);
    if (!Save(refusal))
    {
        tokens.pop_back();
        sodium_memzero(text.data(), text.size());
        return refusal;
    }
    token = std::move(text);
    return refusal;
}

ApiTokens::Refusal ApiTokens::Revoke(const std::string& name)
{
    Refusal refusal;
    const StoredToken* found = Named(name);
    if (found == nullptr)
    {
        refusal.problem = "No app token is named \"" + name + "\".";
        return refusal;
    }
    const std::vector<StoredToken> before = tokens;
    tokens.erase(tokens.begin() + (found - tokens.data()));
    if (!Save(refusal))
        tokens = before;
    return refusal;
}

std::vector<ApiTokens::Description> ApiTokens::List()
{
    std::vector<Description> list;
    for (const StoredToken& token : tokens)
        list.push_back(token.description);
    return list;
}

std::optional<ApiTokens::SCOPE> ApiTokens::Check(const std::string& text, time_t now)
{
    if (text.rfind(prefix, 0) != 0)
        return std::nullopt;
    const Digest presented = DigestOf(text);
    // Every token is compared in full, so the time taken tells nothing about which one matched.
    StoredToken* match = nullptr;
    for (StoredToken& token : tokens)
        if (sodium_memcmp(token.digest.data(), presented.data(), presented.size()) == 0)
            match = &token;
    if (match == nullptr)
        return std::nullopt;
    match->description.last_used = now;
    Refusal refusal;
    if (now - match->savedLastUse >= lastUseResolution)
        Save(refusal);
    return match->description.scope;
}
