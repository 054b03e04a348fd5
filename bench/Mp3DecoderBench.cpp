// Decoding speed of a 44.1 kHz stereo 128 kbit/s stream (noise and gliding tones, made by
// lame): the rate is reported as seconds of audio per second. bench/decode_vs_ffmpeg.sh
// compares the whole decode command with ffmpeg on a longer file.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "mp3dec/Mp3Decoder.h"
#include "mp3dec/Mp3FrameIndex.h"

namespace {

std::vector<uint8_t> LoadStream() {
    std::ifstream in(SONOTRAP_SOURCE_DIR "/tests/data/mp3dec/music44_128k.mp3", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_DecodeMp3Stream(benchmark::State& state) {
    const std::vector<uint8_t> bytes = LoadStream();
    sonotrap::Mp3FrameIndex index;
    if (!index.Run(bytes.data(), bytes.size())) {
        state.SkipWithError("test stream missing");
        return;
    }
    const uint32_t n = index.frameCount;
    std::vector<const uint8_t*> starts(n);
    std::vector<uint32_t> lengths(n), consumed(n);
    index.CopyFrameTables(starts.data(), lengths.data(), n);
    sonotrap::InitDecoderTables();
    sonotrap::Mp3Decoder* decoder = sonotrap::CreateDecoder(starts.data(), lengths.data(), consumed.data());
    std::vector<int16_t> out(sonotrap::kMp3MaxFrameOutputBytes / 2);
    uint64_t samples = 0;
    for (auto _ : state) {
        std::fill(consumed.begin(), consumed.end(), 0);
        sonotrap::ResetDecoder(decoder);
        for (uint32_t i = 0; i < n; ++i) {
            uint32_t produced = 0;
            sonotrap::DecodeFrame(decoder, i, out.data(), &produced);
            samples += produced / 4;
        }
        benchmark::DoNotOptimize(out.data());
    }
    sonotrap::DestroyDecoder(decoder);
    state.counters["audio_s_per_s"] =
        benchmark::Counter(static_cast<double>(samples) / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeMp3Stream)->Unit(benchmark::kMillisecond);

}  // namespace
