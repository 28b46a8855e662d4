#include <gtest/gtest.h>
#include "logging/LogHistory.h"
#include "logging/Logger.h"
#include "support/TempDir.h"

using Logging::LogHistory;

TEST(LogHistory, CollectsFlushesInOrderBetweenPreInitAndPostExit)
{
    TestSupport::TempDir workingDirectory(true);
    LogHistory::PreInit();
    EXPECT_TRUE(LogHistory::history->empty());
    EXPECT_FALSE(LogHistory::didHistoryChangeSinceLastSave);
    EXPECT_LE(time(nullptr) - LogHistory::lastSave, 1);

    Logging::Logger logger("X");
    ::testing::internal::CaptureStdout();
    for (const char* text : {"one", "two", "three"})
    {
        logger.stream << text;
        logger.Flush();
    }
    ::testing::internal::GetCapturedStdout();

    ASSERT_EQ(LogHistory::history->size(), 3u);
    EXPECT_EQ((*LogHistory::history)[0]->message, "one");
    EXPECT_EQ((*LogHistory::history)[2]->message, "three");
    EXPECT_TRUE(LogHistory::didHistoryChangeSinceLastSave);

    LogHistory::PostExit();
    EXPECT_EQ(LogHistory::history, nullptr);
}

TEST(LogHistory, AFlushOutsideTheHistoryLifeIsDroppedSafely)
{
    ASSERT_EQ(LogHistory::history, nullptr);
    Logging::Logger logger("X");
    ::testing::internal::CaptureStdout();
    logger.stream << "nobody listens";
    logger.Flush();
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("nobody listens"), std::string::npos);
}
