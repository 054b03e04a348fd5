#include "media/WavDataReader.h"

#include <algorithm>
#include <cstring>

#include "media/PcmBytes.h"

namespace sonotrap {

namespace {

constexpr size_t kFormatTagOffset = 20;
constexpr size_t kChannelsOffset = 22;
constexpr size_t kSampleRateOffset = 24;
constexpr size_t kBitsOffset = 34;
constexpr size_t kExtraSizeOffset = 36;  // tag 85 only
constexpr size_t kDataSearchPositions = 2049;
constexpr size_t kChunkHeaderBytes = 8;

// Position of the "data" tag whose size word lies inside the file, or count when there is none
// within the search window.
size_t FindDataTag(const uint8_t* bytes, size_t count, size_t from) {
    for (size_t i = 0; i < kDataSearchPositions; ++i) {
        const size_t pos = from + i;
        if (pos > count || count - pos < kChunkHeaderBytes) break;
        if (std::memcmp(bytes + pos, "data", 4) == 0) return pos;
    }
    return count;
}

}  // namespace

bool WavDataReader::ParseRiffHeader(const uint8_t* bytes, size_t count) {
    format = AudioFormat{};
    dataStart = readPos = dataEnd = nullptr;
    if (bytes == nullptr || count < kExtraSizeOffset) return false;

    const uint32_t tag = LoadLe16(bytes + kFormatTagOffset);
    const uint32_t channels = LoadLe16(bytes + kChannelsOffset);
    const uint32_t rate = LoadLe32(bytes + kSampleRateOffset);
    const uint32_t bits = LoadLe16(bytes + kBitsOffset);
    if (tag != kFormatPcm && tag != kFormatMp3) return false;
    if (tag == kFormatPcm && bits != 16) return false;
    // A PCM rate of 0 would make every rate ratio infinite.
    if (tag == kFormatPcm && rate == 0) return false;

    size_t extraBytes = 0;
    if (tag == kFormatMp3) {
        if (count < kExtraSizeOffset + 2) return false;
        extraBytes = LoadLe16(bytes + kExtraSizeOffset);
    }
    const size_t tagPos = FindDataTag(bytes, count, kExtraSizeOffset + extraBytes);
    if (tagPos == count) return false;

    const uint32_t chunkSize = LoadLe32(bytes + tagPos + 4);
    if (chunkSize == 0 || channels == 0) return false;
    const size_t sampleStart = tagPos + kChunkHeaderBytes;
    const size_t usable = std::min<size_t>(chunkSize, count - sampleStart);
    const size_t frameBytes = size_t{channels} * 2;

    format.channels = channels;
    format.sampleRate = rate;
    format.sampleFrames = static_cast<uint32_t>(usable / frameBytes);
    format.formatTag = tag;
    dataStart = readPos = bytes + sampleStart;
    // Only whole sample frames are audio: a trailing odd byte never reaches a block.
    dataEnd = dataStart + size_t{format.sampleFrames} * frameBytes;
    return true;
}

uint32_t WavDataReader::ReadMonoBlock(int16_t* block) {
    const size_t left = static_cast<size_t>(dataEnd - readPos);
    if (left == 0) return 0;
    if (left < kMusicBlockBytes) {
        const size_t samples = left / 2;
        CopyPcm16(block, readPos, samples);
        std::fill(block + samples, block + kMusicBlockSamples, int16_t{0});
        readPos = dataEnd;
        return static_cast<uint32_t>(samples);
    }
    CopyPcm16(block, readPos, kMusicBlockSamples);
    readPos += kMusicBlockBytes;
    return kMusicBlockSamples;
}

uint32_t WavDataReader::ReadDownmixBlock(int16_t* block) {
    const size_t frameBytes = size_t{format.channels} * 2;
    const size_t framesLeft = static_cast<size_t>(dataEnd - readPos) / frameBytes;
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kMusicBlockSamples, framesLeft));
    if (n == 0) return 0;
    for (uint32_t i = 0; i < n; ++i) {
        const int left = LoadPcm16(readPos);
        const int right = LoadPcm16(readPos + 2);
        block[i] = static_cast<int16_t>((left + right) / 2);
        readPos += frameBytes;
    }
    std::fill(block + n, block + kMusicBlockSamples, int16_t{0});
    return n;
}

}  // namespace sonotrap
