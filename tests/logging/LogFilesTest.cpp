#include <gtest/gtest.h>
#include <csignal>
#include <filesystem>
#include <limits>
#include <sys/wait.h>
#include <unistd.h>
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

    // The JSON log is written in one form: the indented rendering of what it holds.
    void ExpectIndentedForm(const std::string& text)
    {
        JsonData reparsed;
        reparsed.Parse(text);
        EXPECT_EQ(text, reparsed.Render(false));
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
    ExpectIndentedForm(ReadRaw("log.json"));
}

// Saves append to the bytes saved before; the file must stay what a whole rendering gives.
TEST_F(LogFilesTest, AppendingSavesKeepTheWholeFileInTheIndentedForm)
{
    WriteRaw("log.json", JsonData(ParseArray("[" + SavedEntry("earlier", start - 10) + "]")).Render(false));
    LogHistory::Init();
    std::vector<std::string> expected{"earlier"};
    for (const std::string batch : {"one", "two", "", "three"})
    {
        for (const char* text : {"\"quoted\"", "line\nbreak"})
            if (!batch.empty())
            {
                Log(batch + text);
                expected.push_back(batch + text);
            }
        LogHistory::Save();
        ExpectIndentedForm(ReadRaw("log.json"));
        EXPECT_EQ(Messages(ParseArray(ReadRaw("log.json"))), expected);
    }
}

TEST_F(LogFilesTest, AHandWrittenLogIsRewrittenWholeAndItsOddValuesKept)
{
    // Seven members, in label order as the renderer writes them.
    const std::string odd = "{\"additional_information\":\"\",\"compiledMessage\":\"\",\"extra\":true,"
                            "\"identifier\":\"\",\"message\":\"seven members\",\"timestamp\":1,\"type\":0}";
    WriteRaw("log.json", "[" + odd + ",\"text\"," + SavedEntry("plain", start) + "]");
    LogHistory::Init();
    Log("new");
    LogHistory::Save();

    const std::string text = ReadRaw("log.json");
    ExpectIndentedForm(text);
    const JsonArray saved = ParseArray(text);
    ASSERT_EQ(saved.Size(), 4u);
    EXPECT_EQ(saved.At(0).Render(true), odd);
    EXPECT_EQ(saved.At(1).GetStringData(), "text");
    EXPECT_EQ(saved.At(3).GetJsonData().Get("message").GetStringData(), "new");
    const JsonArray listed = LogHistory::GetCompleteLogHistoryAsJson(-1, all);
    ASSERT_EQ(listed.Size(), 4u);
    const std::string rendered = JsonData(listed).Render(true);
    EXPECT_NE(rendered.find(odd), std::string::npos);
    EXPECT_NE(rendered.find("\"text\""), std::string::npos);
}

TEST_F(LogFilesTest, AJsonLogChangedBehindTheServersBackIsReadAgainAtTheNextSave)
{
    Log("mine");
    LogHistory::Save();
    WriteRaw("log.json", "[" + SavedEntry("written by someone else", start) + "]");
    Log("after");
    LogHistory::Save();
    EXPECT_EQ(Messages(ParseArray(ReadRaw("log.json"))),
              (std::vector<std::string>{"written by someone else", "after"}));
    EXPECT_EQ(Messages(LogHistory::GetCompleteLogHistoryAsJson(-1, 1)), std::vector<std::string>{"written by someone else"});
}

// A log of many pieces is compared with its messages piece by piece: bytes that read as the same
// messages but are not their rendering, wherever they sit, have the file rewritten whole.
TEST_F(LogFilesTest, ALongLogNotInItsRenderedFormIsRewrittenWholeWhereverItDiffers)
{
    constexpr int count = 1500;  // about 250 KiB: several compared pieces
    std::string items;
    for (int i = 0; i < count; i++)
        items += (i > 0 ? "," : "") + SavedEntry("message " + std::to_string(i), start - count + i);
    const std::string plain = JsonData(ParseArray("[" + items + "]")).Render(false);
    const std::string escaped = "\\u006dessage";  // reads as "message"
    const struct
    {
        const char* where;
        std::function<std::string()> file;
    } cases[] = {
        {"as rendered", [&] { return plain; }},
        {"first item", [&] { std::string f = plain; return f.replace(f.find("message"), 7, escaped); }},
        {"a piece's end", [&] { std::string f = plain; return f.replace(f.find("message", 64 * 1024 - 4), 7, escaped); }},
        {"last item", [&] { std::string f = plain; return f.replace(f.rfind("message"), 7, escaped); }},
        {"after the end", [&] { return plain + "\n"; }},
        {"one byte short", [&] { return plain.substr(0, plain.size() - 1) + " ]"; }},
    };
    for (const auto& c : cases)
    {
        WriteRaw("log.json", c.file());
        LogHistory::Init();
        Log("new");
        LogHistory::Save();
        const std::string text = ReadRaw("log.json");
        ExpectIndentedForm(text);
        EXPECT_EQ(text.find("\\u006d"), std::string::npos) << c.where;
        const std::vector<std::string> messages = Messages(ParseArray(text));
        ASSERT_EQ(messages.size(), count + 1u) << c.where;
        EXPECT_EQ(messages.back(), "new") << c.where;
        LogHistory::ClearLogHistory();
    }
}

// A listing is sent piece by piece while the server goes on: a save or a clear meanwhile
// changes nothing in what it shows.
TEST_F(LogFilesTest, AListingOutlivesASaveAndAClear)
{
    WriteRaw("log.json", "[" + SavedEntry("saved", start - 5) + ",\"odd\"]");
    LogHistory::Init();
    Log("unsaved");
    const std::vector<LogHistory::Listed> listing = LogHistory::SelectListing(-1, all);
    const auto render = [&listing] {
        std::string text;
        JsonArray::RenderItemsTo(text, 0, false, listing.size(),
                                 [&listing](std::size_t i, std::string& out, unsigned int depth) { listing[i].RenderTo(out, depth); });
        return text;
    };
    const std::string before = render();
    EXPECT_EQ(before, JsonData(LogHistory::GetCompleteLogHistoryAsJson(-1, all)).Render(false));

    LogHistory::Save();
    Log("later");
    EXPECT_EQ(render(), before);
    LogHistory::ClearLogHistory();
    EXPECT_EQ(render(), before);
}

// A save that a crash cuts short leaves the JSON log as it was or as it was to become.
TEST_F(LogFilesTest, KilledDuringSavesTheJsonLogStillReadsWhole)
{
    std::string earlier = "[";
    for (int i = 0; i < 1000; i++)
        earlier += (i > 0 ? "," : "") + SavedEntry("earlier " + std::to_string(i), start - 1000 + i);
    const std::string original = JsonData(ParseArray(earlier + "]")).Render(false);

    for (const int delayMilliseconds : {2, 10, 40})
    {
        WriteRaw("log.json", original);
        int saving[2];
        ASSERT_EQ(pipe(saving), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
        {
            LogHistory::Init();
            if (write(saving[1], "s", 1) != 1)
                _exit(1);
            for (int save = 0; save < 2000; save++)
            {
                for (int i = 0; i < 5; i++)
                    Log("save " + std::to_string(save));
                LogHistory::Save();
            }
            _exit(0);
        }
        char started = 0;
        ASSERT_EQ(read(saving[0], &started, 1), 1);
        close(saving[0]);
        close(saving[1]);
        usleep(static_cast<useconds_t>(delayMilliseconds) * 1000);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);

        const std::string text = ReadRaw("log.json");
        ASSERT_TRUE(IsJsonValid(text)) << "after " << delayMilliseconds << " ms";
        const std::vector<std::string> messages = Messages(ParseArray(text));
        ASSERT_GE(messages.size(), 1000u);
        EXPECT_EQ(messages[999], "earlier 999");
        EXPECT_EQ((messages.size() - 1000) % 5, 0u) << "a save is in the file whole or not at all";
        ExpectIndentedForm(text);
    }
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

// The listing as the history gave it while it kept the JSON log as one array: the unsaved
// messages' objects and the file's values merged, selected in that order, then sorted.
JsonArray MergedListing(long max_age, unsigned long max_num)
{
    JsonArray merged;
    for (const LogEntry* entry : *LogHistory::history)
        merged.Add(entry->GetAsJson());
    merged.Merge(ParseArray(ReadRaw("log.json")));
    JsonArray selected;
    for (std::size_t i = 0; i < merged.Size() && selected.Size() < max_num; i++)
    {
        const JsonData& value = merged.At(i);
        const bool everything = max_age == -1 && max_num == all;
        if (everything || max_age < 0)
            selected.Add(value);
        else if (value.GetJsonData().DoesExist("timestamp") &&
                 value.GetJsonData().Get("timestamp").GetDataType() == INT &&
                 max_age >= Clock::now() - value.GetJsonData().Get("timestamp").GetIntData())
            selected.Add(value);
    }
    selected.Sort("timestamp", NUMERICAL_DESCENDING, ".");
    return selected;
}

TEST_F(LogFilesTest, ListingsFromRecordsEqualThoseOfTheMergedArrays)
{
    // Few distinct seconds, so that ties abound; values the records cannot hold among them.
    std::string file = "[";
    for (int i = 0; i < 150; i++)
        file += SavedEntry("saved " + std::to_string(i), start - 100 * ((i * 7) % 5)) + ",";
    file += "{\"message\":\"no time\"},{\"timestamp\":\"soon\"},{\"timestamp\":" + std::to_string(start) + "}]";
    WriteRaw("log.json", file);
    LogHistory::Init();
    for (int i = 0; i < 40; i++)
    {
        now = start + 10 + i / 6;
        Log("session " + std::to_string(i));
        if (i == 25)
            LogHistory::Save();
    }
    now = start + 20;

    for (const long maxAge : {-1L, -7L, 0L, 10L, 25L, 150L, 1000000L})
        for (const unsigned long maxNum : {0UL, 1UL, 9UL, 30UL, 160UL, all})
            EXPECT_EQ(JsonData(LogHistory::GetCompleteLogHistoryAsJson(maxAge, maxNum)).Render(false),
                      JsonData(MergedListing(maxAge, maxNum)).Render(false))
                << "max_age " << maxAge << ", max_num " << maxNum;
}

TEST_F(LogFilesTest, AnAgeQueryOverANonObjectThrowsInsteadOfEndingTheProcess)
{
    WriteRaw("log.json", "[" + SavedEntry("fine", start) + ", 5]");
    LogHistory::Init();
    EXPECT_THROW(LogHistory::GetCompleteLogHistoryAsJson(60, all), JsonWrongDataTypeException);
    EXPECT_EQ(LogHistory::GetCompleteLogHistoryAsJson(-1, all).Size(), 2u);
}

TEST(LogEntryJson, AppendedTextIsTheObjectsRendering)
{
    const struct
    {
        const char* text;
        int64_t timestamp;
        Logging::LOG_TYPE type;
    } cases[] = {
        {"", 0, Logging::LOG},
        {"\"quoted\" \\ back\\slash\n\ttab \x01 control", -1, Logging::ERR},
        {"\xc3\xa4\xe2\x82\xac \xf0\x9f\x8e\xac and </script>", 1765000000, Logging::WARN},
        {"odd \xff byte", INT64_MAX, static_cast<Logging::LOG_TYPE>(-7)},
    };
    for (const auto& c : cases)
        for (const unsigned int depth : {0u, 2u})
        {
            LogEntry entry;
            entry.compiledMessage = std::string("<line> ") + c.text;
            entry.message = c.text;
            entry.identifier = c.text;
            entry.additional_information = c.text;
            entry.timestamp = c.timestamp;
            entry.type = c.type;
            std::string appended;
            entry.AppendJsonTo(appended, depth);
            std::string rendered;
            entry.GetAsJson().RenderTo(rendered, depth, false);
            EXPECT_EQ(appended, rendered) << c.text << " at depth " << depth;
        }
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
