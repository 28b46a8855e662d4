// The log history with a JSON log of many saved messages: what start-up spends loading it
// and how long an autosave holds up the main loop.
#include <benchmark/benchmark.h>
#include <iostream>
#include "config/XGConfig.h"
#include "logging/LogHistory.h"
#include "logging/Logger.h"
#include "support/ScratchDirectory.h"

using Logging::LogHistory;

namespace
{
    // A JSON log of `count` messages, as the server writes it.
    void WriteJsonLog(int64_t count)
    {
        LogHistory::PreInit();
        for (int64_t i = 0; i < count; i++)
        {
            auto* entry = new Logging::LogEntry();
            entry->message = "Fetching disk usage... (" + std::to_string(i) + ")";
            entry->identifier = "RestQueryHandler";
            entry->additional_information = "@127.0.0.1";
            entry->compiledMessage = "<10.12.2026 - 10:09:50> [RestQueryHandler] @127.0.0.1: " + entry->message;
            entry->timestamp = 1700000000 + i / 10;
            LogHistory::AddLogToHistory(entry);
        }
        LogHistory::Save();
        LogHistory::PostExit();
    }

    // The loggers print every message; the benchmark's own output stays readable without them.
    struct QuietConsole
    {
        QuietConsole() : saved(std::cout.rdbuf(nullptr)) {}
        ~QuietConsole() { std::cout.rdbuf(saved); }
        std::streambuf* saved;
    };
}

// A working directory whose JSON log holds `count` messages, and a history around it.
struct HistoryWithSavedLog
{
    explicit HistoryWithSavedLog(int64_t count)
    {
        XGConfig::LoadDefaultValues();
        WriteJsonLog(count);
        LogHistory::PreInit();
    }
    ~HistoryWithSavedLog() { LogHistory::PostExit(); }

    BenchSupport::ScratchDirectory directory;
    QuietConsole quiet;
};

static void LoadJsonLog(benchmark::State& state)
{
    HistoryWithSavedLog setting(state.range(0));
    for (auto _ : state)
        LogHistory::LoadSaveFileCache();
}
BENCHMARK(LoadJsonLog)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(3);

// One autosave of 20 new messages after `range(0)` saved ones.
static void AutosaveStall(benchmark::State& state)
{
    HistoryWithSavedLog setting(state.range(0));
    LogHistory::Init();
    Logging::Logger logger("Bench");
    for (auto _ : state)
    {
        state.PauseTiming();
        for (int i = 0; i < 20; i++)
        {
            logger.stream << "message " << i;
            logger.Flush();
        }
        state.ResumeTiming();
        LogHistory::Save();
    }
}
BENCHMARK(AutosaveStall)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(10);
