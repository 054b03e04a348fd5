// libFuzzer target: any bytes as a loaded music file. Open, read every block, rewind and read
// again; the second pass must repeat the first, real counts stay within a block and the file's
// output count, and the padding after a short block is silence.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/MusicFileReader.h"

namespace {

// Bounds a pass for files whose rate makes them very long (a 1 Hz WAV lasts for hours).
constexpr uint32_t kMaxBlocksPerPass = 3000;

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

std::vector<int16_t> ReadPass(sonotrap::MusicFileReader& reader) {
    std::vector<int16_t> out;
    int16_t block[sonotrap::kMusicBlockSamples];
    for (uint32_t b = 0; b < kMaxBlocksPerPass; ++b) {
        std::memset(block, 0x5A, sizeof block);
        const uint32_t n = reader.ReadBlock(block);
        Check(n <= sonotrap::kMusicBlockSamples);
        if (n == 0) break;
        out.insert(out.end(), block, block + n);
        for (uint32_t i = n; i < sonotrap::kMusicBlockSamples; ++i) Check(block[i] == 0);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto reader = sonotrap::MusicFileReader::Create(data, size, 32000, nullptr);
    if (!sonotrap::IsReady(reader.get())) {
        Check(reader == nullptr || reader->GetOutputSampleCount() == 0);
        return 0;
    }
    const std::vector<int16_t> first = ReadPass(*reader);
    Check(first.size() <= reader->GetOutputSampleCount());
    reader->Rewind();
    Check(ReadPass(*reader) == first);
    return 0;
}
