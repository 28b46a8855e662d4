#include <gtest/gtest.h>
#include "config/XGConfig.h"
#include "rest/Authentication.h"

using Rest::Authentication;
using namespace std::chrono_literals;

// One slow hash for the whole suite: it takes a noticeable fraction of a second.
class AuthenticationTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { hash = Authentication::HashPassword("correct horse"); }
    void SetUp() override
    {
        saved = XGConfig::access.password_hash;
        XGConfig::access.password_hash = hash;
        Authentication::PasswordChanged();
    }
    void TearDown() override
    {
        XGConfig::access.password_hash = saved;
        Authentication::PasswordChanged();
    }

    static std::string hash;
    std::string saved;
    const Authentication::Clock::time_point start = Authentication::Clock::now();
};

std::string AuthenticationTest::hash;

// A whole check as the access gate makes it, the slow hash included.
Authentication::CHECK_RESULT Check(const std::string& address, const std::string& password,
                                   Authentication::Clock::time_point now)
{
    const Authentication::CHECK_RESULT quick = Authentication::StartCheck(address, password, now);
    if (quick != Authentication::NEEDS_HASH)
        return quick;
    const std::string hash = XGConfig::access.password_hash;
    return Authentication::FinishCheck(address, password, hash, Authentication::MatchesHash(hash, password), now);
}

TEST_F(AuthenticationTest, StoresOnlyASaltedSlowHash)
{
    EXPECT_EQ(hash.rfind("$argon2id$", 0), 0u) << hash;
    EXPECT_EQ(hash.find("correct horse"), std::string::npos);
    EXPECT_NE(Authentication::HashPassword("correct horse"), hash) << "every hash has its own salt";
    EXPECT_TRUE(Authentication::IsPasswordSet());
}

TEST_F(AuthenticationTest, AcceptsOnlyThePassword)
{
    for (int round = 0; round < 2; ++round)  // the second time from the remembered digest
        EXPECT_EQ(Check("10.0.0.1", "correct horse", start), Authentication::ACCEPTED);
    EXPECT_EQ(Check("10.0.0.1", "correct hors", start), Authentication::REFUSED);
    EXPECT_EQ(Check("10.0.0.1", "", start), Authentication::REFUSED);
    EXPECT_EQ(Check("10.0.0.1", std::string("correct horse\0x", 15), start),
              Authentication::REFUSED);

    XGConfig::access.password_hash = Authentication::HashPassword("new one");
    EXPECT_EQ(Check("10.0.0.2", "correct horse", start), Authentication::REFUSED)
        << "a remembered password is only good for the hash it was checked against";
}

// After three wrong guesses in a row an address waits 1 s, then 2 s, 4 s... before its next
// guess is looked at, the right password included; other addresses are not held up.
TEST_F(AuthenticationTest, SlowsRepeatedFailuresFromOneAddressDown)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Check("10.0.0.9", "guess", start), Authentication::REFUSED);
    EXPECT_EQ(Check("10.0.0.9", "correct horse", start + 999ms), Authentication::TOO_SOON);
    EXPECT_EQ(Authentication::SecondsToWait("10.0.0.9", start + 200ms), 1);
    EXPECT_EQ(Check("10.0.0.2", "correct horse", start), Authentication::ACCEPTED);

    EXPECT_EQ(Check("10.0.0.9", "guess", start + 1s), Authentication::REFUSED);
    EXPECT_EQ(Check("10.0.0.9", "guess", start + 2s), Authentication::TOO_SOON);
    EXPECT_EQ(Authentication::SecondsToWait("10.0.0.9", start + 1s), 2);
    EXPECT_EQ(Check("10.0.0.9", "correct horse", start + 3s), Authentication::ACCEPTED);
    // Success forgives: three free guesses again.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Check("10.0.0.9", "guess", start + 3s), Authentication::REFUSED);
}

TEST_F(AuthenticationTest, SessionsLastUntilLogoutOrAPasswordChange)
{
    const std::string first = Authentication::StartSession();
    const std::string second = Authentication::StartSession();
    EXPECT_EQ(first.size(), 64u);
    EXPECT_NE(first, second);
    EXPECT_TRUE(Authentication::IsSession(first));
    EXPECT_FALSE(Authentication::IsSession(""));
    EXPECT_FALSE(Authentication::IsSession(first.substr(0, 63) + (first.back() == '0' ? "1" : "0")));

    Authentication::EndSession(first);
    EXPECT_FALSE(Authentication::IsSession(first));
    EXPECT_TRUE(Authentication::IsSession(second));
    Authentication::PasswordChanged();
    EXPECT_FALSE(Authentication::IsSession(second));
}

TEST_F(AuthenticationTest, TheOldestSessionEndsWhenOneTooManyLogsIn)
{
    const std::string oldest = Authentication::StartSession();
    for (size_t i = 1; i < Authentication::maxSessions; ++i)
        Authentication::StartSession();
    EXPECT_TRUE(Authentication::IsSession(oldest));
    const std::string newest = Authentication::StartSession();
    EXPECT_FALSE(Authentication::IsSession(oldest));
    EXPECT_TRUE(Authentication::IsSession(newest));
}

struct BasicCase
{
    std::string header;
    bool isBasic;
    std::string password;
};

void PrintTo(const BasicCase& c, std::ostream* os)
{
    *os << '"' << c.header << '"';
}

class BasicCredentialsTest : public ::testing::TestWithParam<BasicCase>
{
};

TEST_P(BasicCredentialsTest, TakesThePasswordWhateverTheUser)
{
    std::string password = "untouched";
    EXPECT_EQ(Authentication::PasswordFromBasic(GetParam().header, password), GetParam().isBasic);
    EXPECT_EQ(password, GetParam().isBasic ? GetParam().password : "untouched");
}

INSTANTIATE_TEST_SUITE_P(
    Headers, BasicCredentialsTest,
    ::testing::Values(BasicCase{"Basic cGVsa286c2VjcmV0", true, "secret"},      // pelko:secret
                      BasicCase{"basic  OmE6Yg== ", true, "a:b"},                // :a:b
                      BasicCase{"Basic dXNlcjo=", true, ""},                     // user:
                      BasicCase{"Basic bm9jb2xvbg==", false, ""},                // nocolon
                      BasicCase{"Basic !!!", false, ""}, BasicCase{"Basic ", false, ""},
                      BasicCase{"Bearer cGVsa286c2VjcmV0", false, ""}, BasicCase{"", false, ""}));

TEST_F(AuthenticationTest, AGuessAgainstAReplacedPasswordCountsNothing)
{
    const std::string before = XGConfig::access.password_hash;
    XGConfig::access.password_hash = Authentication::HashPassword("new one");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Authentication::FinishCheck("10.0.0.5", "guess", before, false, start), Authentication::REFUSED);
    EXPECT_EQ(Check("10.0.0.5", "new one", start), Authentication::ACCEPTED);
}
