#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "downloader/FairTurns.h"

using Downloader::FairTurns;

namespace
{
    // Letters name those who ask; each turn serves the chosen one's first waiting request.
    struct TurnsCase
    {
        std::string name;
        std::string servedBefore;  // earlier turns, in order
        std::string forgotten;     // then forgotten
        std::string asked;         // waiting, in the order asked
        std::string served;        // the order in which they are served
    };

    std::string Serve(FairTurns& turns, std::string asked)
    {
        std::string served;
        while (!asked.empty())
        {
            std::vector<FairTurns::Waiting> waiting;
            for (const char who : asked)
            {
                const auto place = std::find_if(waiting.begin(), waiting.end(),
                                                [who](const auto& one) { return one.requester[0] == who; });
                if (place == waiting.end())
                    waiting.push_back({std::string(1, who), 1});
                else
                    place->backlog++;
            }
            const size_t next = turns.Next(waiting);
            EXPECT_LT(next, waiting.size());
            const char who = waiting[next].requester[0];
            turns.Served(waiting[next].requester);
            asked.erase(asked.find(who), 1);
            served += who;
        }
        return served;
    }
}

class FairTurnsTest : public ::testing::TestWithParam<TurnsCase>
{
};

TEST_P(FairTurnsTest, ServesTheLeastRecentlyServedFirst)
{
    FairTurns turns;
    for (const char who : GetParam().servedBefore)
        turns.Served(std::string(1, who));
    turns.ForgetUnless([](const std::string& who) { return GetParam().forgotten.find(who) == std::string::npos; });

    EXPECT_EQ(Serve(turns, GetParam().asked), GetParam().served);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, FairTurnsTest,
    ::testing::Values(TurnsCase{"OneKeepsItsOrder", "", "", "aaa", "aaa"},
                      TurnsCase{"ALatecomerIsServedNext", "a", "", "aaaab", "baaaa"},
                      TurnsCase{"ThreeTakeTurns", "abc", "", "aaabbc", "abcaba"},
                      TurnsCase{"EightBurstsAndOneLatecomer", "abcdefgh", "", "abcdefghabcdefghz", "zabcdefghabcdefgh"},
                      // Half the bursts have had no turn yet: the single request still goes first.
                      TurnsCase{"ALatecomerBeforeBurstsNeverServed", "abcd", "", "abcdefghabcdefghz", "zefghabcdefghabcd"},
                      TurnsCase{"OfTheNeverServedTheLeastWaitingFirst", "", "", "aaabbc", "cbabaa"},
                      TurnsCase{"TheOneServedLongestAgoFirst", "ab", "", "bba", "abb"},
                      TurnsCase{"NeverServedBeforeEveryoneElse", "ab", "", "abc", "cab"},
                      TurnsCase{"ForgottenCountsAsNeverServed", "ab", "a", "ba", "ab"}),
    [](const auto& info) { return info.param.name; });

TEST(FairTurns, NoOneWaitingHasNoTurn)
{
    EXPECT_EQ(FairTurns().Next({}), 0u);
}
