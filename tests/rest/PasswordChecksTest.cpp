#include <gtest/gtest.h>
#include <chrono>
#include <thread>
#include "rest/Authentication.h"
#include "rest/PasswordChecks.h"

using Rest::Authentication;
using Rest::PasswordChecks;

// The hashes run on threads of their own, a few at a time, and one address cannot queue more
// than its share.
TEST(PasswordChecks, HashesOffTheCallersThreadWithAShareForEachAddress)
{
    const std::string hash = Authentication::HashPassword("right");
    PasswordChecks checks;
    const auto right = checks.Start("10.0.0.1", "right", hash);
    const auto wrong = checks.Start("10.0.0.1", "wrong", hash);
    ASSERT_NE(right, nullptr);
    ASSERT_NE(wrong, nullptr);
    EXPECT_EQ(checks.Start("10.0.0.1", "third", hash), nullptr);
    const auto other = checks.Start("10.0.0.2", "right", hash);
    ASSERT_NE(other, nullptr);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!(right->ended && wrong->ended && other->ended) && std::chrono::steady_clock::now() < deadline)
    {
        checks.Update();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(right->ended && wrong->ended && other->ended);
    EXPECT_TRUE(right->matches);
    EXPECT_FALSE(wrong->matches);
    EXPECT_TRUE(other->matches);
    checks.Update();
    EXPECT_NE(checks.Start("10.0.0.1", "again", hash), nullptr) << "ended checks leave the address's share";
}
