#pragma once
#include <cstdint>
#include <limits>
#include <string>
#include <variant>
#include <vector>
#include "config/Webhook.h"

namespace Ostrel
{
    class JsonData;
}

// A setting's value, in the C++ type its field has.
using SettingValue = std::variant<std::string, int32_t, bool, std::vector<std::string>, std::vector<Webhook>>;
// The field of XGConfig's groups that holds the setting.
using SettingField =
    std::variant<std::string*, int32_t*, bool*, std::vector<std::string>*, std::vector<Webhook>*>;

enum class SETTING_PATH
{
    NONE,
    FILE,       // a file the server writes
    DIRECTORY,  // a directory the server serves or fills
    USER_DIRECTORY,  // a directory of the user's, anywhere, that the server adds files to; "" for none
    USER_FILE,       // a file of the user's, anywhere, that the server only reads; "" for none
};

// One setting: everything the server knows about it, in one place. Defaults, loading,
// saving, the checks of client changes and the page's labels all come from this table.
struct Setting
{
    const char* path;  // dotted path in config.json, e.g. "httpServer.port"
    SettingField field;
    SettingValue defaultValue;
    bool appliesAtRestart = false;  // read once at start; a change waits for the next start
    SETTING_PATH pathKind = SETTING_PATH::NONE;
    const char* placeName = "";  // path settings: what the place is to the server ("the text log")
    bool secret = false;  // never handed to a client, and only changed by its own command
    // Holds secrets that a client may set but never read back: each list item, or each webhook's
    // secret, is shown as maskedText, and maskedText sent back keeps the stored secret.
    bool writeOnly = false;
    // Integers only: the range a client may set.
    int64_t min = std::numeric_limits<int32_t>::min();
    int64_t max = std::numeric_limits<int32_t>::max();
    // Further rule for the value a client sets; null when every value of the type will do.
    bool (*isValid)(const SettingValue& value) = nullptr;
    // What a valid value looks like, for refusals and the page; made from min and max when empty.
    const char* expected = "";
};

class SettingsTable
{
public:
    // What clients see in place of a write-only secret.
    static constexpr const char* maskedText = "********";

    // Every setting, in the order the page shows them and the log names them.
    static const std::vector<Setting>& All();
    // The setting at `path`, or null.
    static const Setting* Find(const std::string& path);

    static SettingValue Read(const Setting& setting);
    static void Write(const Setting& setting, const SettingValue& value);

    // The value of `json` as this setting's value: only exactly its JSON type, an integer only
    // within 32 bits, a list only of its strings (others are skipped). False when it is none.
    static bool FromJson(const Setting& setting, const Ostrel::JsonData& json, SettingValue& value);
    static Ostrel::JsonData ToJson(const SettingValue& value);
    // The value as a client may see it: a write-only setting's secrets masked, others as they are.
    static SettingValue Shown(const Setting& setting, const SettingValue& value);
    // Puts the stored secrets back where a client's `sent` value has maskedText: a list item by
    // its place (an empty item removes the one at its place), a webhook's secret by the webhook's
    // address. False when a mask stands where no secret is stored (a new item or address), so
    // that the mask itself would never become the secret.
    static bool KeepStoredSecrets(const Setting& setting, SettingValue& sent, const SettingValue& stored);

    // "STRING", "INT", "BOOL" or "ARRAY", as config.json holds it.
    static std::string JsonTypeName(const Setting& setting);

    // What a valid value of the setting looks like ("a whole number from 1 to 10000").
    static std::string Expected(const Setting& setting);
    // True when a client may set `value` (its type, range and rule; not where a path leads).
    static bool IsAcceptable(const Setting& setting, const SettingValue& value);

    // "6969" (every IPv4 interface) or "127.0.0.1:6969": a port from 1 to 65535, alone or after
    // an IPv4 address. `address` is empty for the first form.
    static bool SplitListenAddress(const std::string& text, std::string& address, uint16_t& port);
};
