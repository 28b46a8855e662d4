#include <gtest/gtest.h>
#include "config/XGConfig.h"
#include "rest/SiteRules.h"

using Rest::SiteRules;

struct HostCase
{
    std::string host;
    bool allowed;
};

void PrintTo(const HostCase& c, std::ostream* os)
{
    *os << '"' << c.host << '"';
}

class HostRuleTest : public ::testing::TestWithParam<HostCase>
{
protected:
    void SetUp() override
    {
        saved = XGConfig::access;
        XGConfig::access.allowed_hosts = {"Pelko.Example.org", "nas."};
    }
    void TearDown() override { XGConfig::access = saved; }
    XGConfig::Access saved;
};

// A DNS-rebinding page reaches the server under its own name; only names the server knows pass.
TEST_P(HostRuleTest, AdmitsAddressesLocalhostAndTheAllowedNames)
{
    EXPECT_EQ(SiteRules::IsHostAllowed(GetParam().host), GetParam().allowed);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, HostRuleTest,
    ::testing::Values(HostCase{"", true},  // HTTP/1.0 scripts send none
                      HostCase{"127.0.0.1:6969", true}, HostCase{"192.168.0.7", true}, HostCase{"[::1]:6969", true},
                      HostCase{"[fe80::1]", true}, HostCase{"localhost:6969", true}, HostCase{"LOCALHOST", true},
                      HostCase{"pelko.example.org:6969", true}, HostCase{"PELKO.EXAMPLE.ORG.", true},
                      HostCase{"nas", true}, HostCase{"localhost.:6969", true}, HostCase{"localhost..", false},
                      HostCase{"evil.example:6969", false}, HostCase{"sub.localhost", false},
                      HostCase{"localhost.evil.example", false}, HostCase{"example.org", false},
                      HostCase{"127.1", false},  // not an address in its usual form: a name like any other
                      HostCase{"[::1", false}, HostCase{"127.0.0.1:abc", false}, HostCase{"::1", false},
                      HostCase{":6969", false}));

struct SiteCase
{
    std::string name;
    SiteRules::Request request;
    bool crossSite;
};

void PrintTo(const SiteCase& c, std::ostream* os)
{
    *os << c.name;
}

class CrossSiteTest : public ::testing::TestWithParam<SiteCase>
{
};

TEST_P(CrossSiteTest, KnowsRequestsFromOtherSites)
{
    EXPECT_EQ(SiteRules::IsCrossSite(GetParam().request), GetParam().crossSite);
}

const std::string host = "127.0.0.1:6969";

INSTANTIATE_TEST_SUITE_P(
    Requests, CrossSiteTest,
    ::testing::Values(
        SiteCase{"script", {"POST", host, "", "", "", "", true}, false},
        SiteCase{"own page", {"POST", host, "http://127.0.0.1:6969", "same-origin", "cors", "empty", true}, false},
        SiteCase{"own form without referrer", {"POST", host, "null", "same-origin", "navigate", "document", false},
                 false},
        SiteCase{"own page by name", {"POST", "Pelko.lan", "http://pelko.lan", "same-origin", "cors", "empty", true},
                 false},
        SiteCase{"behind https", {"POST", "pelko.lan", "https://pelko.lan:443", "", "", "", true}, false},
        SiteCase{"another port", {"POST", host, "http://127.0.0.1:8000", "same-site", "no-cors", "empty", true}, true},
        SiteCase{"another host", {"POST", host, "http://evil.example", "cross-site", "no-cors", "empty", true}, true},
        SiteCase{"another scheme's port", {"POST", "pelko.lan:80", "https://pelko.lan", "", "", "", true}, true},
        SiteCase{"opaque origin", {"POST", host, "null", "cross-site", "navigate", "iframe", false}, true},
        SiteCase{"only the fetch header", {"GET", host, "", "cross-site", "no-cors", "image", false}, true},
        SiteCase{"origin without host", {"POST", "", "http://127.0.0.1:6969", "", "", "", true}, true},
        SiteCase{"link from elsewhere", {"GET", host, "", "cross-site", "navigate", "document", false}, false},
        SiteCase{"framed by elsewhere", {"GET", host, "", "cross-site", "navigate", "iframe", false}, true},
        SiteCase{"form posted from elsewhere",
                 {"POST", host, "http://evil.example", "cross-site", "navigate", "document", false},
                 true},
        SiteCase{"link to the command interface", {"GET", host, "", "cross-site", "navigate", "document", true},
                 true}));
