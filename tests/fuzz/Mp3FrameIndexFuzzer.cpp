// libFuzzer target: the frame index on any bytes. Frames it lists lie inside the data, in
// order without overlap, and the totals follow from their count.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "mp3dec/Mp3FrameIndex.h"

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly the input's size: the address sanitizer sees any read past its end.
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size + 1]);
    std::memcpy(bytes.get(), data, size);
    sonotrap::Mp3FrameIndex index;
    if (!index.Run(bytes.get(), size)) return 0;
    const uint32_t n = index.frameCount;
    Check(n > 0 && index.channels >= 1 && index.channels <= 2);
    Check(n <= sonotrap::Mp3FrameIndex::kChunkEntries * sonotrap::Mp3FrameIndex::kMaxChunks);
    std::vector<const uint8_t*> starts(n);
    std::vector<uint32_t> lengths(n);
    Check(index.CopyFrameTables(starts.data(), lengths.data(), n));
    for (uint32_t i = 0; i < n; ++i) {
        Check(starts[i] == bytes.get() + index.FrameOffset(i) && lengths[i] == index.FrameLength(i));
        Check(lengths[i] > 0 && index.FrameOffset(i) + size_t{lengths[i]} <= size);
        if (i > 0) Check(index.FrameOffset(i) >= index.FrameOffset(i - 1) + lengths[i - 1]);
    }
    const uint32_t perFrame = (index.sampleRate < 32000 ? 1152 : 2304) * index.channels;
    Check(index.totalPcmBytes == (n - 1) * perFrame);
    Check(index.sampleFrames == index.totalPcmBytes / (index.channels * 2));
    return 0;
}
