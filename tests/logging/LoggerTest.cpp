#include <gtest/gtest.h>
#include <regex>
#include "logging/LogHistory.h"
#include "logging/Logger.h"
#include "support/TempDir.h"

using Logging::LogEntry;
using Logging::Logger;
using Logging::LogHistory;

class LoggerTest : public ::testing::Test
{
protected:
    void SetUp() override { LogHistory::PreInit(); }
    void TearDown() override { LogHistory::PostExit(); }

    // Flushes and returns the console output.
    static std::string FlushCaptured(Logger& logger)
    {
        ::testing::internal::CaptureStdout();
        logger.Flush();
        return ::testing::internal::GetCapturedStdout();
    }

    static const LogEntry& Last() { return *LogHistory::history->back(); }

    TestSupport::TempDir workingDirectory{true};
};

static const std::string timePattern = R"(<\d{2}\.\d{2}\.\d{4} - \d{2}:\d{2}:\d{2}>)";

struct LineCase
{
    Logging::LOG_TYPE type;
    std::string additionalInformation;
    std::string message;
    std::string expectedAfterTime;
};

class LoggerLineTest : public LoggerTest, public ::testing::WithParamInterface<LineCase>
{
};

TEST_P(LoggerLineTest, PrintsAndRecordsOneLine)
{
    const LineCase& c = GetParam();
    Logger logger("Config");
    logger.SetAdditionalInformation(c.additionalInformation);
    logger.stream << logger.Type(c.type) << c.message;

    const std::string printed = FlushCaptured(logger);

    EXPECT_TRUE(std::regex_match(printed, std::regex(timePattern + std::regex_replace(c.expectedAfterTime, std::regex(R"([\[\]\.\(\)\$])"), R"(\$&)") + "\n")))
        << printed;
    ASSERT_EQ(LogHistory::history->size(), 1u);
    EXPECT_EQ(Last().compiledMessage + "\n", printed);
    EXPECT_EQ(Last().message, c.message);
    EXPECT_EQ(Last().identifier, "Config");
    EXPECT_EQ(Last().additional_information, c.additionalInformation);
    EXPECT_EQ(Last().type, c.type);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LoggerLineTest,
    ::testing::Values(LineCase{Logging::LOG, "", "Loaded config file", " [Config]: Loaded config file"},
                      LineCase{Logging::WARN, "", "Config file not found. Created default one.",
                               " [Config] [WARN]: Config file not found. Created default one."},
                      LineCase{Logging::ERR, "@127.0.0.1", "Failed.", " [Config] [ERROR] @127.0.0.1: Failed."},
                      LineCase{Logging::LOG, "@::1", "x", " [Config] @::1: x"},
                      LineCase{Logging::LOG, "", "", " [Config]: "},
                      LineCase{Logging::LOG, "", "two\nlines", " [Config]: two\nlines"}));

TEST_F(LoggerTest, TypeResetsAfterEveryFlush)
{
    Logger logger("X");
    logger.stream << logger.Warn() << "first";
    FlushCaptured(logger);
    logger.stream << "second";
    const std::string printed = FlushCaptured(logger);
    EXPECT_EQ(printed.find("[WARN]"), std::string::npos);
    EXPECT_EQ(Last().type, Logging::LOG);
}

TEST_F(LoggerTest, SetReplacesTheMessageAndTheType)
{
    Logger logger("X");
    logger.stream << logger.Err() << "dropped";
    logger.Set("kept");
    FlushCaptured(logger);
    EXPECT_EQ(Last().message, "kept");
    EXPECT_EQ(Last().type, Logging::LOG);
}

TEST_F(LoggerTest, TimestampAndPrintedTimeComeFromOneReading)
{
    Logger logger("X");
    const std::string printed = FlushCaptured(logger);
    const time_t stamp = Last().timestamp;
    struct tm local{};
    localtime_r(&stamp, &local);
    char expected[100];
    strftime(expected, sizeof(expected), "<%d.%m.%Y - %T>", &local);
    EXPECT_EQ(printed.substr(0, std::string(expected).size()), expected);
}

TEST_F(LoggerTest, DestroyingALoggerDiscardsItsBuffer)
{
    ::testing::internal::CaptureStdout();
    {
        Logger logger("X");
        logger.stream << "never flushed";
    }
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(LogHistory::history->empty());
}

TEST_F(LoggerTest, PrefixesOfEveryType)
{
    EXPECT_EQ(Logger::TypeToPrefix(Logging::LOG), "");
    EXPECT_EQ(Logger::TypeToPrefix(Logging::WARN), " [WARN]");
    EXPECT_EQ(Logger::TypeToPrefix(Logging::ERR), " [ERROR]");
    EXPECT_EQ(Logger::TypeToPrefix(static_cast<Logging::LOG_TYPE>(7)), "");
    EXPECT_EQ(Logger::TypeToColor(Logging::ERR), "");
}

namespace
{
    struct UninitializedLogger : Logger
    {
        UninitializedLogger() : Logger("Broken") { isInitialized = false; }
    };
}

TEST_F(LoggerTest, AnUninitializedLoggerReportsTheMisuseInsteadOfLogging)
{
    UninitializedLogger logger;
    logger.stream << logger.Warn() << "lost";
    const std::string printed = FlushCaptured(logger);

    EXPECT_NE(printed.find("> [Logger] [ERROR]: Attempted to use logger object without being initialized!\n"),
              std::string::npos);
    EXPECT_EQ(printed.find("Broken"), std::string::npos);
    for (const LogEntry* entry : *LogHistory::history)
    {
        EXPECT_EQ(entry->identifier, "Logger");
        EXPECT_EQ(entry->type, Logging::ERR);
    }
    EXPECT_FALSE(LogHistory::history->empty());
}
