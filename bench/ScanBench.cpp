#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>
#include <unistd.h>

#include "tools/RecordingScan.h"

// Throughput of a Record run over a recording (sonotrap-tool scan --format wav): the whole
// capture path in lock step, threads, analysis, trigger and WAV files. Goal: 1500x real time,
// about 20800 blocks per second.
namespace {

// Ten minutes of faint noise with a loud 1 kHz burst every 5 s: long enough that the run's start
// and stop (threads, analysers, files) do not hide the per-block rate.
std::vector<int16_t> MinutesWithBursts() {
    std::vector<int16_t> s(32000 * 600);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-30, 30);
    for (size_t i = 0; i < s.size(); ++i) {
        double v = noise(random);
        if ((i % 160000) < 6400) v += 8000.0 * std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / 32000.0);
        s[i] = static_cast<int16_t>(std::lround(v));
    }
    return s;
}

void BM_ScanWav(benchmark::State& state) {
    const std::vector<int16_t> input = MinutesWithBursts();
    const auto dir = std::filesystem::temp_directory_path() / ("sonotrap-scan-bench-" + std::to_string(::getpid()));
    uint64_t blocks = 0;
    const std::clock_t cpuStart = std::clock();  // all of the process's threads
    for (auto _ : state) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        sonotrap::ScanOptions options;
        options.outputDirectory = dir.string();
        options.mp3 = false;
        options.threshold = 40.0;
        const sonotrap::ScanResult result = sonotrap::ScanRecording(input, options);
        if (!result.ok) state.SkipWithError("scan did not start");
        blocks += result.blocks;
    }
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::filesystem::remove_all(dir);
    // CPU per block is steadier than the rate on a loaded machine (start and stop included).
    if (blocks > 0) state.counters["cpu_us_per_block"] = cpuSeconds * 1e6 / static_cast<double>(blocks);
    state.counters["blocks_per_s"] = benchmark::Counter(static_cast<double>(blocks), benchmark::Counter::kIsRate);
    state.counters["x_real_time"] = benchmark::Counter(static_cast<double>(blocks) * 0.072, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScanWav)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
