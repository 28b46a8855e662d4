#include <gtest/gtest.h>
#include "config/XGConfig.h"
#include "rest/HttpServer.h"

using Rest::HttpServer;

struct AccessCase
{
    std::string peer;
    bool onlyAllowLocalhost;
    bool enableWhitelist;
    std::vector<std::string> whitelist;
    bool allowed;
    std::string denialReason;  // "untouched" when admitted
};

void PrintTo(const AccessCase& c, std::ostream* os)
{
    *os << c.peer << (c.onlyAllowLocalhost ? " only-localhost" : "") << (c.enableWhitelist ? " whitelist" : "");
}

class IsConnectionAllowedTest : public ::testing::TestWithParam<AccessCase>
{
protected:
    void SetUp() override { saved = XGConfig::access; }
    void TearDown() override { XGConfig::access = saved; }

    XGConfig::Access saved;
};

TEST_P(IsConnectionAllowedTest, AppliesTheAccessSettings)
{
    const AccessCase& c = GetParam();
    XGConfig::access.only_allow_localhost = c.onlyAllowLocalhost;
    XGConfig::access.enable_whitelist = c.enableWhitelist;
    XGConfig::access.whitelist = c.whitelist;

    std::string denialReason = "untouched";
    EXPECT_EQ(HttpServer::IsConnectionAllowed(c.peer, denialReason), c.allowed);
    EXPECT_EQ(denialReason, c.denialReason);
}

const std::string notWhitelisted =
    "Not whitelisted! Ask your pelko administrator to whitelist '192.168.0.7' in order to gain access.";

INSTANTIATE_TEST_SUITE_P(
    Rule, IsConnectionAllowedTest,
    ::testing::Values(
        // The local machine is always welcome.
        AccessCase{"127.0.0.1", true, true, {}, true, "untouched"},
        AccessCase{"127.0.0.1", false, true, {"10.0.0.1"}, true, "untouched"},
        // Only-localhost beats the whitelist, and only the exact text 127.0.0.1 is local.
        AccessCase{"192.168.0.7", true, true, {"192.168.0.7"}, false, "Only localhost allowed!"},
        AccessCase{"127.0.0.2", true, false, {}, false, "Only localhost allowed!"},
        AccessCase{"::1", true, false, {}, false, "Only localhost allowed!"},
        // Without the whitelist everyone else is admitted too.
        AccessCase{"192.168.0.7", false, false, {}, true, "untouched"},
        AccessCase{"192.168.0.7", false, true, {"10.0.0.1", "192.168.0.7"}, true, "untouched"},
        // Whitelist entries compare as whole strings.
        AccessCase{"192.168.0.7", false, true, {"192.168.0.70", "192.168.0.", " 192.168.0.7"}, false, notWhitelisted},
        AccessCase{"192.168.0.7", false, true, {}, false, notWhitelisted}));

TEST(HttpServer, FixUnterminatedStringKeepsExactlyTheGivenBytes)
{
    const char bytes[] = {'a', '\0', 'b', 'c', 'd'};
    EXPECT_EQ(HttpServer::FixUnterminatedString(bytes, 3), std::string("a\0b", 3));
    EXPECT_EQ(HttpServer::FixUnterminatedString(nullptr, 0), "");
}
