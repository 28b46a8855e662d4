// The cache index with many finished downloads: how long writing index.json takes.
#include <benchmark/benchmark.h>
#include <filesystem>
#include <iostream>
#include "app/FileSystem.h"
#include "config/XGConfig.h"
#include "downloader/DownloadManager.h"
#include "json/Json.h"
#include "logging/LogHistory.h"
#include "support/ScratchDirectory.h"

using Downloader::DownloadManager;

namespace
{
    // An index of `count` finished downloads, as the server writes it.
    void WriteIndex(int64_t count)
    {
        Ostrel::JsonArray index;
        for (int64_t i = 0; i < count; i++)
        {
            Downloader::DownloadEntry entry;
            entry.pelko_id = "id" + std::to_string(i);
            entry.title = "A video of the history, number " + std::to_string(i);
            entry.description = "What it shows, in a few words.";
            entry.uploader = "Uploader " + std::to_string(i % 100);
            entry.duration = static_cast<int32_t>(60 + i % 3600);
            entry.webpage_url = "https://videos.example/watch?v=" + entry.pelko_id;
            entry.thumbnail_url = "https://videos.example/" + entry.pelko_id + ".jpg";
            entry.downloaded_filename = "dlcache/download/" + entry.pelko_id + ".mp3";
            entry.download_url = "/download/" + entry.pelko_id;
            entry.queued_timestamp = 1600000000 + i * 60;
            entry.status = Downloader::FINISHED;
            entry.download_progress = 100;
            index.Add(entry.GetAsJson());
        }
        std::filesystem::create_directories("dlcache");
        FileSystem::WriteFile("dlcache/index.json", index.Render(0, false));
    }
}

namespace
{
    // Saves of an index loaded at start; `warm` saves once before measuring.
    void MeasureSaves(benchmark::State& state, bool warm)
    {
        BenchSupport::ScratchDirectory directory;
        std::streambuf* console = std::cout.rdbuf(nullptr);
        XGConfig::LoadDefaultValues();
        Logging::LogHistory::PreInit();
        WriteIndex(state.range(0));
        DownloadManager::PreInit(FileLayout(XGConfig::downloader.cachedir));
        if (warm)
            DownloadManager::Save();
        for (auto _ : state)
            DownloadManager::Save();
        DownloadManager::OnExit();
        DownloadManager::PostExit();
        Logging::LogHistory::PostExit();
        std::cout.rdbuf(console);
    }
}

// The first save after a start renders every record; later ones reuse the texts of finished entries.
static void FirstIndexSave(benchmark::State& state)
{
    MeasureSaves(state, false);
}
BENCHMARK(FirstIndexSave)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(1);

static void IndexSave(benchmark::State& state)
{
    MeasureSaves(state, true);
}
BENCHMARK(IndexSave)->Arg(50000)->Unit(benchmark::kMillisecond)->Iterations(5);
