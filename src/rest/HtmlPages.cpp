#include "rest/HtmlPages.h"
#include <sodium.h>

using namespace Rest;

namespace
{
    // Shared by every page; the policy admits exactly this style by its hash.
    const std::string style = R"(
:root { color-scheme: light dark; --bg: #f4f5f7; --surface: #fff; --text: #1b1f24; --muted: #56606c;
  --border: #d5dbe2; --accent: #1f63c7; --accent-text: #fff; --danger: #b8322a; --danger-soft: #fbe7e5; }
@media (prefers-color-scheme: dark) { :root { --bg: #101317; --surface: #191e24; --text: #e5e9ee;
  --muted: #a2acb8; --border: #323b46; --accent: #78aeff; --accent-text: #0b1420; --danger: #ff7a6e;
  --danger-soft: #3f1c1a; } }
* { box-sizing: border-box; }
body { margin: 0; min-height: 100vh; display: grid; place-items: center; padding: 1rem; background: var(--bg);
  color: var(--text); font: 16px/1.5 system-ui, -apple-system, "Segoe UI", Roboto, "Noto Sans", sans-serif; }
main { width: min(24rem, 100%); padding: 1.5rem; background: var(--surface); border: 1px solid var(--border);
  border-radius: 10px; box-shadow: 0 1px 8px rgb(0 0 0 / 8%); }
h1 { margin: 0 0 0.75rem; font-size: 1.3rem; }
h1::before { content: ""; display: inline-block; width: 0.9em; height: 0.9em; margin-right: 0.45em;
  vertical-align: -0.08em; border-radius: 3px; background: var(--accent); }
p { margin: 0 0 1rem; color: var(--muted); overflow-wrap: anywhere; }
label { display: block; font-weight: 600; margin-bottom: 0.3rem; }
input { width: 100%; min-height: 2.5rem; padding: 0.45rem 0.7rem; border: 1px solid var(--border);
  border-radius: 8px; background: var(--surface); color: var(--text); font: inherit; }
input:focus-visible, button:focus-visible { outline: 3px solid var(--accent); outline-offset: 2px; }
button { margin-top: 1rem; width: 100%; min-height: 2.5rem; border: 0; border-radius: 8px; background: var(--accent);
  color: var(--accent-text); font: inherit; font-weight: 600; cursor: pointer; }
.problem { margin: 0.75rem 0 0; padding: 0.5rem 0.75rem; border-left: 4px solid var(--danger); border-radius: 4px;
  background: var(--danger-soft); color: var(--danger); }
code { font-size: 0.95em; color: var(--text); }
)";

    std::string Document(const std::string& title, const std::string& body)
    {
        return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
               "<meta name=\"referrer\" content=\"no-referrer\">\n<title>" +
               HtmlPages::Escape(title) + "</title>\n<style>" + style + "</style>\n</head>\n<body>\n<main>\n" + body +
               "</main>\n</body>\n</html>\n";
    }
}

std::string HtmlPages::LoginPage(const std::string& next, const std::string& problem)
{
    const std::string problemLine =
        problem.empty() ? "" : "<p id=\"login-problem\" class=\"problem\" role=\"alert\">" + Escape(problem) + "</p>\n";
    return Document("Log in · Pelko",
                    "<h1>Pelko</h1>\n<p>This server is protected by a password.</p>\n"
                    "<form method=\"post\" action=\"/login\">\n"
                    "<input type=\"hidden\" name=\"next\" value=\"" + Escape(next) + "\">\n"
                    "<label for=\"login-password\">Password</label>\n"
                    "<input id=\"login-password\" name=\"password\" type=\"password\" autocomplete=\"current-password\" "
                    "required autofocus>\n" + problemLine +
                    "<button id=\"login-submit\" type=\"submit\">Log in</button>\n</form>\n");
}

std::string HtmlPages::UnknownHostPage(const std::string& host)
{
    const std::string name = Escape(host.substr(0, 255));
    return Document("Unknown host name · Pelko",
                    "<h1>Pelko</h1>\n<p>This server does not answer to the name <code>" + name +
                    "</code>.</p>\n<p>It answers to its IP addresses, to <code>localhost</code> and to the names "
                    "listed in the setting <code>access.allowed_hosts</code>, so that no other web site can reach it "
                    "under a name of its own. If <code>" + name + "</code> is this server's name, add it to "
                    "<code>access.allowed_hosts</code> (in <code>config.json</code>, or under Settings, Access on "
                    "the page opened by the server's IP address) and load the page again.</p>\n");
}

std::string HtmlPages::ContentSecurityPolicy()
{
    static const std::string policy = [] {
        if (sodium_init() < 0)
            return std::string("default-src 'none'");
        unsigned char hash[crypto_hash_sha256_BYTES];
        crypto_hash_sha256(hash, reinterpret_cast<const unsigned char*>(style.data()), style.size());
        char encoded[sodium_base64_ENCODED_LEN(crypto_hash_sha256_BYTES, sodium_base64_VARIANT_ORIGINAL)];
        sodium_bin2base64(encoded, sizeof(encoded), hash, sizeof(hash), sodium_base64_VARIANT_ORIGINAL);
        return "default-src 'none'; style-src 'sha256-" + std::string(encoded) +
               "'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";
    }();
    return policy;
}

std::string HtmlPages::Escape(const std::string& text)
{
    std::string escaped;
    for (const char c : text)
    {
        switch (c)
        {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}
