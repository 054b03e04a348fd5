// The display's per-block cost on a memory back screen (text cells filled, no font): bars,
// note strip, meters and readouts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <optional>

#include "display/FormatDecimal.h"
#include "display/FrequencyGraph.h"
#include "display/ScreenLayout.h"
#include "adapters/virtual/MemoryBackScreen.h"

namespace sonotrap {
namespace {

struct BenchScreen {
    BenchScreen() {
        screen.Create();
        screen.SetBitmap(kPanelBitmap, PixelImage{482, 322, std::vector<uint32_t>(482 * 322, 0)});
        screen.SetBitmap(kNoteStripBitmap, PixelImage{482, 37, std::vector<uint32_t>(482 * 37, kWhite)});
        screen.SetBitmap(kMeterScaleBitmap, PixelImage{15, 388, std::vector<uint32_t>(15 * 388, Rgb(115, 185, 185))});
        graph.emplace(screen);
    }
    // A spectrum with a peak in every fourth band, shifted by `shift` dB.
    void Fill(float shift) {
        NotePeaks& n = graph->Notes();
        std::fill(std::begin(n.bandLevel), std::end(n.bandLevel), 0.0f);
        for (int b = 0; b < kBandCount; b += 4) n.bandLevel[b] = -10.0f - static_cast<float>(b % 60) - shift;
        for (int o = 0; o < kOctaveCount; ++o) {
            n.octaveNote[o] = "A4";
            n.octavePeakHz[o] = 27.5f * static_cast<float>(1 << o);
        }
        n.peakHz = 440.0f;
        n.peakDb = -10.0f;
        n.peakOctave = 4;
    }
    MemoryBackScreen screen;
    std::optional<FrequencyGraph> graph;
};

void BM_DrawGraphSteady(benchmark::State& state) {
    BenchScreen b;
    b.Fill(0.0f);
    b.graph->DrawGraph();
    for (auto _ : state) {
        b.graph->DrawGraph();
        b.screen.ClearTextCalls();
    }
}
BENCHMARK(BM_DrawGraphSteady);

void BM_DrawGraphChanging(benchmark::State& state) {
    BenchScreen b;
    float shift = 0.0f;
    for (auto _ : state) {
        b.Fill(shift);
        shift = shift == 0.0f ? 20.0f : 0.0f;  // every bar moves by 80 rows
        b.graph->DrawGraph();
        b.screen.ClearTextCalls();
    }
}
BENCHMARK(BM_DrawGraphChanging);

void BM_UpdateMetersAndReadouts(benchmark::State& state) {
    BenchScreen b;
    int i = 0;
    for (auto _ : state) {
        b.graph->UpdateMetersAndReadouts(true, 40.0 + (i % 40), 440.0f, -20.0f - static_cast<float>(i % 30));
        b.screen.ClearTextCalls();
        ++i;
    }
}
BENCHMARK(BM_UpdateMetersAndReadouts);

void BM_FormatDecimal(benchmark::State& state) {
    double value = -23.46;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatDecimal(2, value));
        value += 0.01;
    }
}
BENCHMARK(BM_FormatDecimal);

}  // namespace
}  // namespace sonotrap
