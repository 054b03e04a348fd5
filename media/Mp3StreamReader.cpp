#include "media/Mp3StreamReader.h"

#include <algorithm>
#include <new>

#include "mp3dec/Mp3FrameIndex.h"

namespace sonotrap {

namespace {

constexpr uint32_t kScratchSamples = kMp3MaxFrameOutputBytes / 2;

template <typename T>
std::unique_ptr<T[]> ZeroedTable(uint32_t entries) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[entries]());
}

}  // namespace

Mp3StreamReader::~Mp3StreamReader() {
    if (decoder != nullptr) DestroyDecoder(decoder);
}

bool Mp3StreamReader::Open(const uint8_t* data, size_t count, void* shared, uint32_t maxFrames) {
    sharedDecoder = shared;
    InitDecoderTables();
    Mp3FrameIndex index;
    if (!index.Run(data, count, maxFrames) || index.frameCount == 0 || index.channels == 0) return false;
    format.channels = index.channels;
    format.sampleRate = index.sampleRate;
    format.sampleFrames = index.sampleFrames;
    format.formatTag = kFormatMp3;
    frameCount = index.frameCount;

    // Every source gets the scratch buffer: the decoder may write a whole frame, which is
    // more than a music block holds.
    scratch.reset(new (std::nothrow) int16_t[kScratchSamples]());
    tableCapacity = (frameCount & ~3u) + 4;
    frameStart = ZeroedTable<const uint8_t*>(tableCapacity);
    frameLength = ZeroedTable<uint32_t>(tableCapacity);
    if (!scratch || !frameStart || !frameLength ||
        !index.CopyFrameTables(frameStart.get(), frameLength.get(), tableCapacity)) {
        return false;
    }
    index.ReleaseChunks();
    frameConsumed = ZeroedTable<uint32_t>(tableCapacity);
    if (!frameConsumed) return false;
    decoder = CreateDecoder(frameStart.get(), frameLength.get(), frameConsumed.get());
    if (decoder == nullptr) return false;
    // A stream none of whose frames yields samples would have playback decode it whole at
    // every read and rewind: refuse it here, where that costs one pass.
    if (DecodeNextFrame(scratch.get()) == 0) return false;
    Rewind();
    return true;
}

uint32_t Mp3StreamReader::DecodeNextFrame(int16_t* output) {
    while (currentFrame < frameCount) {
        uint32_t bytes = 0;
        DecodeFrame(decoder, currentFrame, output, &bytes);
        ++currentFrame;
        if (bytes != 0) return std::min(bytes, kMp3MaxFrameOutputBytes);
    }
    return 0;
}

uint32_t Mp3StreamReader::ReadMonoBlock(int16_t* block) {
    const uint32_t bytes = DecodeNextFrame(scratch.get());
    if (bytes == 0) return 0;
    const uint32_t n = std::min(bytes / 2, kMusicBlockSamples);
    std::copy(scratch.get(), scratch.get() + n, block);
    std::fill(block + n, block + kMusicBlockSamples, int16_t{0});
    return n;
}

uint32_t Mp3StreamReader::ReadDownmixBlock(int16_t* block) {
    const uint32_t bytes = DecodeNextFrame(scratch.get());
    if (bytes == 0) return 0;
    const uint32_t n = std::min(bytes / 4, kMusicBlockSamples);
    const int16_t* pair = scratch.get();
    for (uint32_t i = 0; i < n; ++i, pair += 2) block[i] = static_cast<int16_t>((pair[0] + pair[1]) / 2);
    std::fill(block + n, block + kMusicBlockSamples, int16_t{0});
    return n;
}

void Mp3StreamReader::Rewind() {
    if (currentFrame == 0) return;
    std::fill(frameConsumed.get(), frameConsumed.get() + tableCapacity, 0u);
    ResetDecoder(decoder);
    currentFrame = 0;
}

}  // namespace sonotrap
