#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <cstdint>
#include <vector>

#include "mp3enc/Mp3Encoder.h"

// Frames per second of the recorder's MP3 encoder (32 kHz mono, 64 kbit/s). Real time is
// 27.8 frames per second; the recorder needs two frames per 72 ms capture block.
namespace {

std::vector<int16_t> Noise(size_t n) {
    std::vector<int16_t> out(n);
    uint32_t seed = 12345;
    for (auto& s : out) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<int16_t>(static_cast<int32_t>(seed >> 16) - 32768) / 4;
    }
    return out;
}

std::vector<int16_t> Tone(size_t n) {
    std::vector<int16_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<int16_t>(16000 * std::sin(2 * std::numbers::pi * 1000.0 * i / 32000.0));
    return out;
}

void EncodeFrames(benchmark::State& state, const std::vector<int16_t>& input) {
    sonotrap::Mp3Encoder encoder;
    encoder.Initialise(64, 1);
    size_t bytes = 0;
    sonotrap::Mp3Sink sink([&bytes](const uint8_t*, size_t n) {
        bytes += n;
        return true;
    });
    const size_t frames = input.size() / 1152;
    size_t frame = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(encoder.Encode(input.data() + 1152 * frame, 1152, false, sink));
        frame = (frame + 1) % frames;
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_Mp3EncodeNoise(benchmark::State& state) { EncodeFrames(state, Noise(1152 * 100)); }
void BM_Mp3EncodeTone(benchmark::State& state) { EncodeFrames(state, Tone(1152 * 100)); }

}  // namespace

BENCHMARK(BM_Mp3EncodeNoise);
BENCHMARK(BM_Mp3EncodeTone);
