// The analyser's cost per capture block, with FFTW's transform of the same size beside it as
// the yardstick: AnalyzeBlock (window, transform, magnitudes, peak searches) should stay
// within 1.7 times FFTW's plain 16384-point real transform (the counter vs_fftw).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <time.h>

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

// This thread's processor time (seconds): the two sides are compared on the time they ran,
// not on the time other processes took from them.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// FFTW's plain real transform of 16384 values, the yardstick.
class FftwR2c {
public:
    static constexpr int kSize = 16384;
    FftwR2c() : in_(fftw_alloc_real(kSize)), out_(fftw_alloc_complex(kSize / 2 + 1)) {
        plan_ = fftw_plan_dft_r2c_1d(kSize, in_, out_, FFTW_MEASURE);
        std::mt19937 random(2);
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        for (int i = 0; i < kSize; ++i) in_[i] = value(random);  // after planning, which overwrites
    }
    ~FftwR2c() {
        fftw_destroy_plan(plan_);
        fftw_free(out_);
        fftw_free(in_);
    }
    void Run() {
        fftw_execute(plan_);
        benchmark::DoNotOptimize(out_);
        benchmark::ClobberMemory();
    }

private:
    double* in_;
    fftw_complex* out_;
    fftw_plan plan_;
};

// Averaging off (the default), or over 16 spectra with normalize and a caller's band; in
// loud or quiet noise. Both sides run in batches of 64, each warm in its own batch and timed
// as a whole (a thread-time reading is a system call of about half a microsecond, too dear
// to take per block), alternating, so that the counter vs_fftw (AnalyzeBlock's time over
// FFTW's) compares the two under the same load. One iteration is one batch (the time
// column); block_us is AnalyzeBlock's time per block.
void BM_AnalyzeBlock(benchmark::State& state) {
    constexpr int kBatch = 64;
    const bool averaged = state.range(0) != 0;
    const auto block = TestBlock(state.range(1) ? 300.0 : 30.0);
    auto analyzer = std::make_unique<sonotrap::SpectrumAnalyzer>();
    auto notes = std::make_unique<sonotrap::NotePeaks>();
    FftwR2c fftw;
    if (averaged) {
        analyzer->SetAveragingDepth(16);
        analyzer->SetNormalize(true);
    }
    const auto band = averaged ? sonotrap::PeakReading::Band(300, 3000) : sonotrap::PeakReading::Band(0, 0);
    double analyzing = 0.0, transforming = 0.0;
    for (auto _ : state) {
        auto reading = band;
        analyzer->AnalyzeBlock(block.data(), reading, *notes);  // warms its buffers
        double start = ThreadSeconds();
        for (int i = 0; i < kBatch; ++i) {
            reading = band;
            analyzer->AnalyzeBlock(block.data(), reading, *notes);
            benchmark::DoNotOptimize(reading);
        }
        const double took = ThreadSeconds() - start;
        analyzing += took;
        state.SetIterationTime(took);
        fftw.Run();
        start = ThreadSeconds();
        for (int i = 0; i < kBatch; ++i) fftw.Run();
        transforming += ThreadSeconds() - start;
    }
    state.counters["vs_fftw"] = analyzing / transforming;
    state.counters["block_us"] = 1e6 * analyzing / (kBatch * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_AnalyzeBlock)->ArgsProduct({{0, 1}, {1, 0}})->ArgNames({"averaged", "loud"})->UseManualTime();

// The note-peak walk alone, over the spectrum of the test block in loud or quiet noise.
void BM_LocateNotePeaks(benchmark::State& state) {
    const auto block = TestBlock(state.range(0) ? 300.0 : 30.0);
    auto analyzer = std::make_unique<sonotrap::SpectrumAnalyzer>();
    auto notes = std::make_unique<sonotrap::NotePeaks>();
    auto reading = sonotrap::PeakReading::Band(0, 0);
    analyzer->AnalyzeBlock(block.data(), reading, *notes);
    for (auto _ : state) {
        sonotrap::LocateNotePeaks(analyzer->Magnitude(), 2, sonotrap::kSpectrumBins - 1, *notes);
        benchmark::DoNotOptimize(notes->peakDb);
    }
}
BENCHMARK(BM_LocateNotePeaks)->Arg(1)->Arg(0)->ArgName("loud");

// The transform alone, with the widest vectors the processor has (1) or the portable loops (0).
void BM_OwnRealFft16384(benchmark::State& state) {
    sonotrap::RealFft fft(14, state.range(0) != 0);
    std::vector<double> in(16384);
    sonotrap::FftWorkspace out(8192);
    std::mt19937 random(2);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (double& v : in) v = value(random);
    for (auto _ : state) {
        fft.Forward(in.data(), out.Re(), out.Im());
        benchmark::DoNotOptimize(out.Re());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_OwnRealFft16384)->Arg(1)->Arg(0)->ArgName("wide");

void BM_FftwRealFft16384(benchmark::State& state) {
    FftwR2c fftw;
    for (auto _ : state) fftw.Run();
}
BENCHMARK(BM_FftwRealFft16384);

}  // namespace
