// libFuzzer target: the frame index on any bytes. Frames it lists lie inside the data, in
// order without overlap, and the totals follow from their count.
#include <cstdint>
#include <vector>

#include "mp3dec/Mp3FrameIndex.h"

#define CHECK(ok) if (!(ok)) __builtin_trap()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input's size: the address sanitizer sees any read past its end.
    const std::vector<uint8_t> copy(data, data + size);
    const uint8_t* bytes = copy.data();
    sonotrap::Mp3FrameIndex index;
    if (!index.Run(bytes, size)) return 0;
    const uint32_t n = index.frameCount;
    CHECK(n > 0 && index.channels >= 1 && index.channels <= 2);
    std::vector<const uint8_t*> starts(n);
    std::vector<uint32_t> lengths(n);
    CHECK(index.CopyFrameTables(starts.data(), lengths.data(), n));
    for (uint32_t i = 0; i < n; ++i) {
        CHECK(starts[i] == bytes + index.FrameOffset(i) && lengths[i] == index.FrameLength(i));
        CHECK(lengths[i] > 0 && index.FrameOffset(i) + size_t{lengths[i]} <= size);
        CHECK(i == 0 || index.FrameOffset(i) >= index.FrameOffset(i - 1) + lengths[i - 1]);
    }
    CHECK(index.totalPcmBytes == (n - 1) * (index.sampleRate < 32000 ? 1152 : 2304) * index.channels);
    CHECK(index.sampleFrames == index.totalPcmBytes / (index.channels * 2));
    return 0;
}
