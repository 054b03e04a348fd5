// The analyser's cost per capture block, with FFTW's transform of the same size beside it as
// the yardstick: AnalyzeBlock (window, transform, magnitudes, peak searches) should stay
// within twice FFTW's plain 16384-point real transform.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "display/Fft.h"
#include "display/SpectrumAnalyzer.h"

namespace {

// A few tones in room noise: loud noise (about -41 dBFS) puts every bin above the peak
// walk's gate, the hard case; quiet noise (about -61 dBFS) is a calm room.
std::vector<int16_t> TestBlock(double noiseLevel = 300.0) {
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, noiseLevel);
    std::vector<int16_t> block(sonotrap::SpectrumAnalyzer::kFftSize);
    for (size_t i = 0; i < block.size(); ++i) {
        const double t = i / 32000.0;
        const double v = 6000 * std::sin(2 * M_PI * 440 * t) + 3000 * std::sin(2 * M_PI * 1234.5 * t) +
                         2000 * std::sin(2 * M_PI * 5000 * t) + noise(random);
        block[i] = static_cast<int16_t>(std::lround(v));
    }
    return block;
}

// Averaging off (the default), or over 16 spectra with normalize and a caller's band; in
// loud or quiet noise.
void BM_AnalyzeBlock(benchmark::State& state) {
    const bool averaged = state.range(0) != 0;
    const auto block = TestBlock(state.range(1) ? 300.0 : 30.0);
    auto analyzer = std::make_unique<sonotrap::SpectrumAnalyzer>();
    auto notes = std::make_unique<sonotrap::NotePeaks>();
    if (averaged) {
        analyzer->SetAveragingDepth(16);
        analyzer->SetNormalize(true);
    }
    for (auto _ : state) {
        auto reading = averaged ? sonotrap::PeakReading::Band(300, 3000) : sonotrap::PeakReading::Band(0, 0);
        analyzer->AnalyzeBlock(block.data(), reading, *notes);
        benchmark::DoNotOptimize(reading);
    }
}
BENCHMARK(BM_AnalyzeBlock)->ArgsProduct({{0, 1}, {1, 0}})->ArgNames({"averaged", "loud"});

// The transform alone, with the widest vectors the processor has (1) or the portable loops (0).
void BM_OwnRealFft16384(benchmark::State& state) {
    sonotrap::RealFft fft(14, state.range(0) != 0);
    std::vector<double> in(16384), re(8192), im(8192);
    std::mt19937 random(2);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (double& v : in) v = value(random);
    for (auto _ : state) {
        fft.Forward(in.data(), re.data(), im.data());
        benchmark::DoNotOptimize(re.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OwnRealFft16384)->Arg(1)->Arg(0)->ArgName("wide");

void BM_FftwRealFft16384(benchmark::State& state) {
    constexpr int n = 16384;
    double* in = fftw_alloc_real(n);
    fftw_complex* out = fftw_alloc_complex(n / 2 + 1);
    fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
    std::mt19937 random(2);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int i = 0; i < n; ++i) in[i] = value(random);  // after planning, which overwrites
    for (auto _ : state) {
        fftw_execute(plan);
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);
}
BENCHMARK(BM_FftwRealFft16384);

}  // namespace
