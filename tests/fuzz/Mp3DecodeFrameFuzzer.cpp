// libFuzzer target: DecodeFrame on up to 8 frames, each a 16-bit little-endian length and that
// many bytes, without the frame index in front, so that damaged headers, side information and
// reservoir references reach the decoder. Fed twice with a reset between (and a zero-length
// frame so that the last is decoded), the output stays within bounds and repeats exactly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp3dec/Mp3Decoder.h"

#define CHECK(ok) if (!(ok)) __builtin_trap()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Each frame a heap copy of its exact length: the address sanitizer sees reads past it.
    std::vector<std::vector<uint8_t>> frames;
    for (size_t p = 0; p + 2 <= size && frames.size() < 8; p += frames.back().size()) {
        const size_t length = std::min<size_t>(data[p] | (data[p + 1] << 8), size - p - 2);
        p += 2;
        frames.emplace_back(data + p, data + p + length);
    }
    frames.emplace_back();
    std::vector<const uint8_t*> starts;
    std::vector<uint32_t> lengths;
    for (const auto& f : frames) {
        starts.push_back(f.data());
        lengths.push_back(static_cast<uint32_t>(f.size()));
    }
    std::vector<uint32_t> consumed(frames.size(), 0);
    sonotrap::InitDecoderTables();
    sonotrap::Mp3Decoder* decoder = sonotrap::CreateDecoder(starts.data(), lengths.data(), consumed.data());
    CHECK(decoder != nullptr);
    std::vector<int16_t> passes[2];
    for (auto& pass : passes) {
        std::fill(consumed.begin(), consumed.end(), 0u);
        sonotrap::ResetDecoder(decoder);
        for (uint32_t i = 0; i < frames.size(); ++i) {
            int16_t out[sonotrap::kMp3MaxFrameOutputBytes / 2];
            uint32_t bytes = 1;
            const int result = sonotrap::DecodeFrame(decoder, i, out, &bytes);
            CHECK((result == 0 || result == 1) && bytes <= sonotrap::kMp3MaxFrameOutputBytes && bytes % 2 == 0);
            pass.insert(pass.end(), out, out + bytes / 2);
        }
    }
    sonotrap::DestroyDecoder(decoder);
    CHECK(passes[0] == passes[1]);
    return 0;
}
