// libFuzzer target: any bytes as a loaded music file. Open, read every block, rewind and read
// again; the second pass must repeat the first, real counts stay within a block and the file's
// output count, and the padding after a short block is silence.
#include <cstdint>
#include <cstring>
#include <vector>

#include "media/MusicFileReader.h"

#define CHECK(ok) if (!(ok)) __builtin_trap()

// A pass is bounded for files whose rate makes them very long (a 1 Hz WAV lasts for hours).
static std::vector<int16_t> ReadPass(sonotrap::MusicFileReader& reader) {
    std::vector<int16_t> out;
    int16_t block[sonotrap::kMusicBlockSamples];
    for (uint32_t b = 0, n = 1; b < 3000 && n != 0; ++b) {
        std::memset(block, 0x5A, sizeof block);
        n = reader.ReadBlock(block);
        CHECK(n <= sonotrap::kMusicBlockSamples);
        out.insert(out.end(), block, block + n);
        for (uint32_t i = n; n != 0 && i < sonotrap::kMusicBlockSamples; ++i) CHECK(block[i] == 0);
    }
    return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto reader = sonotrap::MusicFileReader::Create(data, size, 32000, nullptr);
    if (!sonotrap::IsReady(reader.get())) {
        CHECK(reader == nullptr || reader->GetOutputSampleCount() == 0);
        return 0;
    }
    const std::vector<int16_t> first = ReadPass(*reader);
    CHECK(first.size() <= reader->GetOutputSampleCount());
    reader->Rewind();
    CHECK(ReadPass(*reader) == first);
    return 0;
}
