#include <gtest/gtest.h>
#include <vector>
#include "app/Clock.h"
#include "app/Idler.h"
#include "app/XGControl.h"

class IdlerTest : public ::testing::TestWithParam<std::pair<time_t, bool>>
{
protected:
    void SetUp() override
    {
        savedClock = Clock::now;
        savedWait = Idler::wait;
        savedLastQuery = XGControl::last_query_time;
        Clock::now = [] { return now; };
        Idler::wait = [this](unsigned int ms) { waits.push_back(ms); };
    }
    void TearDown() override
    {
        Clock::now = savedClock;
        Idler::wait = savedWait;
        XGControl::last_query_time = savedLastQuery;
    }

    static constexpr time_t now = 1700000000;
    std::vector<unsigned int> waits;
    std::function<time_t()> savedClock;
    std::function<void(unsigned int)> savedWait;
    time_t savedLastQuery = 0;
};

TEST_P(IdlerTest, WaitsThreeSecondsOnlyAfterMoreThanTenIdleSeconds)
{
    const auto [secondsSinceLastRequest, shouldWait] = GetParam();
    XGControl::last_query_time = now - secondsSinceLastRequest;

    Idler::Update();

    if (shouldWait)
        EXPECT_EQ(waits, std::vector<unsigned int>{3000});
    else
        EXPECT_TRUE(waits.empty());
}

INSTANTIATE_TEST_SUITE_P(Boundary, IdlerTest,
                         ::testing::Values(std::make_pair(0, false), std::make_pair(10, false),
                                           std::make_pair(11, true), std::make_pair(86400, true),
                                           std::make_pair(-5, false)));

TEST(XGControl, StartsIdleAndStopped)
{
    EXPECT_FALSE(XGControl::keepServerRunning);
    EXPECT_LE(XGControl::boot_time, time(nullptr));
    EXPECT_NEAR(static_cast<double>(XGControl::boot_time - XGControl::last_query_time), 86400, 1);
}
