#include <gtest/gtest.h>
#include <filesystem>
#include <limits>
#include "app/Clock.h"
#include "config/XGConfig.h"
#include "json/Json.h"
#include "logging/LogHistory.h"
#include "logging/Logger.h"
#include "support/TempDir.h"

using namespace Ostrel;
using Logging::LogEntry;
using Logging::LogHistory;
using TestSupport::ReadRaw;
using TestSupport::WriteRaw;

namespace
{
    constexpr time_t start = 1700000000;
    constexpr unsigned long all = std::numeric_limits<unsigned long>::max();

    JsonArray ParseArray(const std::string& text)
    {
        JsonData data;
        data.Parse(text);
        return data.GetArrayData();
    }

    std::vector<std::string> Messages(const JsonArray& logs)
    {
        std::vector<std::string> messages;
        for (std::size_t i = 0; i < logs.Size(); i++)
            messages.push_back(logs.At(i).GetJsonData().Get("message").GetStringData());
        return messages;
    }

    // A saved log entry as the JSON log holds it.
    std::string SavedEntry(const std::string& message, time_t timestamp)
    {
        LogEntry entry;
        entry.message = message;
        entry.compiledMessage = "<line> " + message;
        entry.timestamp = timestamp;
        return JsonData(entry.GetAsJson()).Render(true);
    }
}

// The log files live in a scratch working directory; the clock is stepped by hand.
class LogFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        savedClock = Clock::now;
        Clock::now = [this] { return now; };
        XGConfig::LoadDefaultValues();
        LogHistory::PreInit();
        ::testing::internal::CaptureStdout();
    }
    void TearDown() override
    {
        ::testing::internal::GetCapturedStdout();
        LogHistory::PostExit();
        Clock::now = savedClock;
    }

    void Log(const std::string& message)
    {
        logger.stream << message;
        logger.Flush();
    }

    TestSupport::TempDir workingDirectory{true};
    std::function<time_t()> savedClock;
    time_t now = start;
    Logging::Logger logger{"Test"};
};

TEST_F(LogFilesTest, AutosavesOnlyAfterTheIntervalAndOnlyWhenSomethingChanged)
{
    now = start + 5000;
    LogHistory::Update();
    EXPECT_FALSE(std::filesystem::exists("log.txt")) << "nothing to save, nothing saved";

    Log("hello");
    now = start + 1800;
    LogHistory::Update();
    EXPECT_FALSE(std::filesystem::exists("log.txt"));

    now = start + 1801;
    LogHistory::Update();
    EXPECT_NE(ReadRaw("log.txt").find("hello"), std::string::npos);
    EXPECT_TRUE(LogHistory::history->empty());
    EXPECT_EQ(LogHistory::lastSave, start + 1801);
}

TEST_F(LogFilesTest, TwoSavesKeepEveryMessageOnceInBothFiles)
{
    Log("first");
    LogHistory::Save();
    Log("second");
    LogHistory::Save();

    const std::string text = ReadRaw("log.txt");
    EXPECT_EQ(text.find("first"), text.rfind("first"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    EXPECT_EQ(Messages(ParseArray(ReadRaw("log.json"))), (std::vector<std::string>{"first", "second"}));
}

TEST_F(LogFilesTest, TheJsonLogIsRenderedInTheIndentedForm)
{
    Log("x");
    LogHistory::Save();
    JsonData reparsed;
    reparsed.Parse(ReadRaw("log.json"));
    EXPECT_EQ(ReadRaw("log.json"), reparsed.Render(false));
}

TEST_F(LogFilesTest, AJsonLogThatIsNoArrayCountsAsEmptyAndIsReplaced)
{
    WriteRaw("log.json", "{\"not\": \"an array\"}");
    LogHistory::Init();
    EXPECT_EQ(LogHistory::saveFileCache.Size(), 0u);

    Log("kept");
    LogHistory::Save();
    EXPECT_EQ(Messages(ParseArray(ReadRaw("log.json"))), std::vector<std::string>{"kept"});
}

// Saved: "old" (start-100), "older" (start-7200) in file order; unsaved: "a", "b" (now).
class LogQueryTest : public LogFilesTest
{
protected:
    void SetUp() override
    {
        LogFilesTest::SetUp();
        WriteRaw("log.json", "[" + SavedEntry("older", start - 7200) + "," + SavedEntry("old", start - 100) + "]");
        LogHistory::Init();
        Log("a");
        Log("b");
    }
};

TEST_F(LogQueryTest, WithoutLimitsEverythingComesNewestFirst)
{
    const auto messages = Messages(LogHistory::GetCompleteLogHistoryAsJson(-1, all));
    ASSERT_EQ(messages.size(), 4u);
    // "a" and "b" share their second; which comes first is the sort's business.
    EXPECT_EQ(std::vector<std::string>(messages.begin() + 2, messages.end()),
              (std::vector<std::string>{"old", "older"}));
}

TEST_F(LogQueryTest, AnAgeLimitKeepsExactlyTheYoungEnough)
{
    now = start + 60;
    EXPECT_EQ(Messages(LogHistory::GetCompleteLogHistoryAsJson(60, all)).size(), 2u);
    EXPECT_EQ(Messages(LogHistory::GetCompleteLogHistoryAsJson(160, all)).size(), 3u);
    EXPECT_EQ(Messages(LogHistory::GetCompleteLogHistoryAsJson(159, all)).size(), 2u);
}

TEST_F(LogQueryTest, ACountLimitTakesTheFirstOfTheMergedOrderThenSorts)
{
    // Merged order: a, b (unsaved), older, old (file order); the first three, newest first.
    const auto messages = Messages(LogHistory::GetCompleteLogHistoryAsJson(-1, 3));
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages.back(), "older");
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "old"), 0);
}

TEST_F(LogQueryTest, ClearingLeavesEmptyFilesAndNoMessages)
{
    EXPECT_TRUE(LogHistory::ClearLogHistory());
    EXPECT_EQ(ReadRaw("log.txt"), "");
    EXPECT_EQ(ReadRaw("log.json"), "[]");
    EXPECT_EQ(LogHistory::GetCompleteLogHistoryAsJson(-1, all).Size(), 0u);
}

TEST_F(LogFilesTest, AnAgeQueryOverANonObjectThrowsInsteadOfEndingTheProcess)
{
    WriteRaw("log.json", "[" + SavedEntry("fine", start) + ", 5]");
    LogHistory::Init();
    EXPECT_THROW(LogHistory::GetCompleteLogHistoryAsJson(60, all), JsonWrongDataTypeException);
    EXPECT_EQ(LogHistory::GetCompleteLogHistoryAsJson(-1, all).Size(), 2u);
}

TEST(LogEntryJson, HoldsTheSixMembers)
{
    LogEntry entry;
    entry.compiledMessage = "<t> [X] [WARN] @1.2.3.4: hi";
    entry.message = "hi";
    entry.identifier = "X";
    entry.additional_information = "@1.2.3.4";
    entry.type = Logging::WARN;
    entry.timestamp = 1234567890123;
    EXPECT_EQ(JsonData(entry.GetAsJson()).Render(true),
              "{\"additional_information\":\"@1.2.3.4\",\"compiledMessage\":\"<t> [X] [WARN] @1.2.3.4: hi\","
              "\"identifier\":\"X\",\"message\":\"hi\",\"timestamp\":1234567890123,\"type\":1}");
}
