// Parse, render and sort at the sizes of a long-running server: index.json with 50,000
// downloads, log.json with 50,000 messages, and a 1 MiB request body nested 500 deep.
#include <benchmark/benchmark.h>
#include "BenchDocuments.h"

using namespace Ostrel;

namespace
{
    constexpr int records = 50000;

    const std::string& IndexText()
    {
        static const std::string text = JsonData(BenchDocuments::IndexEntries(records)).Render(false);
        return text;
    }

    const std::string& LogText()
    {
        static const std::string text = JsonData(BenchDocuments::LogMessages(records)).Render(false);
        return text;
    }

    const std::string& NestedText()
    {
        static const std::string text = BenchDocuments::NestedBody(1 << 20, 500);
        return text;
    }

    // The same body broken at its deepest point, where a reader finds out last.
    const std::string& BrokenNestedText()
    {
        static const std::string text = [] {
            std::string broken = NestedText();
            broken[broken.find(']') - 1] = ','; // "..., 1234]" becomes "..., 123,]"
            return broken;
        }();
        return text;
    }

    // What the file loaders and the HTTP server do with a text: test it, then parse it.
    void ValidateAndParse(benchmark::State& state, const std::string& text)
    {
        for (auto _ : state)
        {
            JsonData document;
            if (IsJsonValid(text))
                document.Parse(text);
            benchmark::DoNotOptimize(document);
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    }

    // The same in one pass, as the callers can do now.
    void TryParse(benchmark::State& state, const std::string& text)
    {
        for (auto _ : state)
        {
            JsonData document;
            benchmark::DoNotOptimize(document.TryParse(text));
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    }

    void Parse(benchmark::State& state, const std::string& text)
    {
        for (auto _ : state)
        {
            JsonData document;
            document.Parse(text);
            benchmark::DoNotOptimize(document);
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    }

    void Render(benchmark::State& state, const std::string& text)
    {
        JsonData document;
        document.Parse(text);
        std::size_t size = 0;
        for (auto _ : state)
        {
            const std::string rendered = document.Render(false);
            size = rendered.size();
            benchmark::DoNotOptimize(rendered.data());
        }
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
    }

    // Newest first by a numeric key, as the listings sort their records.
    void SortNewestFirst(benchmark::State& state, const std::string& text, const std::string& key)
    {
        JsonData parsed;
        parsed.Parse(text);
        JsonArray array;
        for (auto _ : state)
        {
            // Copying and releasing the array stay out of the figure.
            state.PauseTiming();
            array = parsed.GetArrayData();
            state.ResumeTiming();
            array.Sort(key, NUMERICAL_DESCENDING, ".");
            benchmark::DoNotOptimize(array);
        }
        state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * records));
    }
}

static void BM_ParseIndex(benchmark::State& state) { Parse(state, IndexText()); }
static void BM_ValidateAndParseIndex(benchmark::State& state) { ValidateAndParse(state, IndexText()); }
static void BM_RenderIndex(benchmark::State& state) { Render(state, IndexText()); }
static void BM_SortIndex(benchmark::State& state) { SortNewestFirst(state, IndexText(), "queued_timestamp"); }
static void BM_ParseLog(benchmark::State& state) { Parse(state, LogText()); }
static void BM_RenderLog(benchmark::State& state) { Render(state, LogText()); }
static void BM_SortLog(benchmark::State& state) { SortNewestFirst(state, LogText(), "timestamp"); }
static void BM_TryParseIndex(benchmark::State& state) { TryParse(state, IndexText()); }
static void BM_ValidateAndParseNestedBody(benchmark::State& state) { ValidateAndParse(state, NestedText()); }
static void BM_TryParseNestedBody(benchmark::State& state) { TryParse(state, NestedText()); }
static void BM_TryParseBrokenNestedBody(benchmark::State& state) { TryParse(state, BrokenNestedText()); }

BENCHMARK(BM_ParseIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidateAndParseIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TryParseIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ValidateAndParseNestedBody)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TryParseNestedBody)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TryParseBrokenNestedBody)->Unit(benchmark::kMillisecond);
