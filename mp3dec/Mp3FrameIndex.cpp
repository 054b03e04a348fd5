#include "mp3dec/Mp3FrameIndex.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "mp3dec/Mp3HeaderTables.h"

namespace sonotrap {
namespace {

constexpr size_t kFirstFrameMargin = 24;  // bytes that must remain to try a first frame
constexpr size_t kWalkMargin = 8;         // bytes that must remain to read on

uint32_t Byte(uint32_t word, int n) { return (word >> (8 * n)) & 0xFF; }

// Fields of a header word read little-endian (first stream byte lowest).
struct HeaderFields {
    uint32_t id, layerBits, protection, bitrateIndex, samplingIndex, padding, mode, emphasis;
};

HeaderFields Fields(uint32_t word) {
    const uint32_t b1 = Byte(word, 1), b2 = Byte(word, 2), b3 = Byte(word, 3);
    return {(b1 >> 3) & 1, (b1 >> 1) & 3, b1 & 1, b2 >> 4, (b2 >> 2) & 3, (b2 >> 1) & 1,
            b3 >> 6, b3 & 3};
}

bool UsableFields(const HeaderFields& f) {
    return f.bitrateIndex != 0 && f.bitrateIndex != 15 && f.samplingIndex != 3 && f.emphasis != 2;
}

bool IsMpeg25Layer3(uint32_t word) {
    if (Byte(word, 0) != 0xFF || (Byte(word, 1) & 0xF0) != 0xE0 || (Byte(word, 1) & 0x08) != 0)
        return false;
    const HeaderFields f = Fields(word);
    return f.layerBits == 1 && UsableFields(f);
}

uint32_t Mpeg25Length(uint32_t word) {
    const HeaderFields f = Fields(word);
    return mp3::FrameLengthBytes(mp3::kBitrateKbps[1][f.bitrateIndex],
                                 mp3::kSampleRateHz[1][f.samplingIndex], false, f.padding);
}

}  // namespace

Mp3FrameIndex::~Mp3FrameIndex() { ReleaseChunks(); }

uint32_t Mp3FrameIndex::Word(size_t position) const {
    const uint8_t* p = data_ + position;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool Mp3FrameIndex::ValidHeader(uint32_t word) {
    if (Byte(word, 0) != 0xFF || (Byte(word, 1) & 0xF0) != 0xF0) return false;
    const HeaderFields f = Fields(word);
    if (f.layerBits != 1 || f.bitrateIndex == 0 || f.bitrateIndex == 15 || f.samplingIndex == 3)
        return false;
    // The reserved emphasis value only rules out a first frame; once the stream is known, a
    // frame that matches it is kept (emphasis is never applied, and dropping the frame would
    // lose its audio and the bit reservoir that later frames draw on).
    if (referenceHeader_ == 0) return f.emphasis != 2;
    const uint32_t rate = mp3::kSampleRateHz[f.id ? 0 : 1][f.samplingIndex];
    const uint32_t ch = f.mode == 3 ? 1 : 2;
    return rate == sampleRate && ch == channels;
}

// Records the header's fields and returns its frame length.
uint32_t Mp3FrameIndex::ParseLength(uint32_t word) {
    const HeaderFields f = Fields(word);
    id = f.id;
    layer = 4 - f.layerBits;
    protection = f.protection;
    bitrateIndex = f.bitrateIndex;
    samplingIndex = f.samplingIndex;
    padding = f.padding;
    mode = f.mode;
    const int lsf = f.id ? 0 : 1;
    return mp3::FrameLengthBytes(mp3::kBitrateKbps[lsf][f.bitrateIndex],
                                 mp3::kSampleRateHz[lsf][f.samplingIndex], lsf != 0, f.padding);
}

bool Mp3FrameIndex::Run(const uint8_t* bytes, size_t count, uint32_t maxFrames) {
    ReleaseChunks();
    maxFrames_ = maxFrames;
    data_ = bytes;
    size_ = count > 0xFFFFFFF0u ? 0xFFFFFFF0u : count;  // offsets are 32-bit
    sampleRate = channels = sampleFrames = frameCount = totalPcmBytes = 0;
    referenceHeader_ = alternateHeader_ = 0;
    alternateKnown_ = false;
    if (data_ == nullptr) return false;

    size_t position = 0;
    if (size_ >= 10 && data_[0] == 'I' && data_[1] == 'D' && data_[2] == '3') {
        position = 10 + ((data_[6] & 0x7Fu) << 21 | (data_[7] & 0x7Fu) << 14 |
                         (data_[8] & 0x7Fu) << 7 | (data_[9] & 0x7Fu));
    }
    if (!FindFirstFrame(position)) return false;
    Walk(position);

    if (frameCount == 0 || channels == 0) return false;
    uint64_t total = static_cast<uint64_t>(frameCount - 1) * 2304u * channels;
    if (sampleRate < 32000) total /= 2;
    // Past the program's frame limit the byte total may not fit 32 bits; the frame count does.
    totalPcmBytes = static_cast<uint32_t>(std::min<uint64_t>(total, UINT32_MAX));
    sampleFrames = static_cast<uint32_t>(std::min<uint64_t>(total / (channels * 2), UINT32_MAX));
    return true;
}

bool Mp3FrameIndex::FindFirstFrame(size_t& position) {
    for (size_t p = position; p + kFirstFrameMargin <= size_; ++p) {
        if (data_[p] != 0xFF || (data_[p + 1] & 0xE6) != 0xE2) continue;
        const uint32_t word = Word(p);
        if (ValidHeader(word)) {
            const HeaderFields f = Fields(word);
            referenceHeader_ = word;
            sampleRate = mp3::kSampleRateHz[f.id ? 0 : 1][f.samplingIndex];
            channels = f.mode == 3 ? 1 : 2;
            referenceLength_ = ParseLength(word);
            const size_t next = p + referenceLength_;
            if (next + kFirstFrameMargin <= size_) {
                const uint32_t successor = Word(next);
                if (successor == word || ValidHeader(successor)) {
                    position = p;
                    return true;
                }
            }
            referenceHeader_ = 0;
            sampleRate = channels = 0;
        } else if (IsMpeg25Layer3(word)) {
            const size_t next = p + Mpeg25Length(word);
            if (next + 4 <= size_) {
                const uint32_t successor = Word(next);
                if (successor == word || IsMpeg25Layer3(successor)) return false;
            }
        }
    }
    return false;
}

void Mp3FrameIndex::Walk(size_t position) {
    while (position + kWalkMargin <= size_) {
        uint32_t word = Word(position);
        uint32_t length = 0;
        if (word == referenceHeader_) {
            length = referenceLength_;
            ParseLength(word);
        } else if (alternateKnown_ && word == alternateHeader_) {
            length = alternateLength_;
            ParseLength(word);
        } else {
            if (!ValidHeader(word)) {
                if (!Resynchronise(position)) return;
                continue;  // look again at the new position
            }
            length = ParseLength(word);
            if (!alternateKnown_) {
                alternateHeader_ = word;
                alternateLength_ = length;
                alternateKnown_ = true;
            }
        }
        if (length > size_ - position) length = static_cast<uint32_t>(size_ - position);
        if (!Record(static_cast<uint32_t>(position), length)) return;
        position += length;
    }
}

bool Mp3FrameIndex::Resynchronise(size_t& position) {
    if (position + 3 <= size_) {
        const uint8_t* p = data_ + position;
        if ((p[0] == 'T' && p[1] == 'A' && p[2] == 'G') ||
            (p[0] == '3' && p[1] == 'D' && p[2] == 'I') ||
            (p[0] == 'I' && p[1] == 'D' && p[2] == '3'))
            return false;
    }
    // A frame a byte or two off: move the boundary and fix the previous frame's length.
    static constexpr int kShifts[4] = {-1, -2, 1, 2};
    for (int shift : kShifts) {
        if (shift < 0 && position < static_cast<size_t>(-shift)) continue;
        const size_t candidate = position + shift;
        if (candidate + 4 > size_) continue;
        if (frameCount > 0 && candidate <= FrameOffset(frameCount - 1)) continue;
        if (!ValidHeader(Word(candidate))) continue;
        if (frameCount > 0) {
            const uint32_t last = frameCount - 1;
            uint32_t& length = lengthChunks_[last / kChunkEntries][last % kChunkEntries];
            length = static_cast<uint32_t>(candidate - FrameOffset(last));
        }
        position = candidate;
        return true;
    }
    for (size_t p = position + 3; p + kWalkMargin < size_; ++p) {
        if (data_[p] != 0xFF || (data_[p + 1] & 0xF6) != 0xF2) continue;
        if (ValidHeader(Word(p))) {
            position = p;
            return true;
        }
    }
    return false;
}

bool Mp3FrameIndex::Record(uint32_t start, uint32_t length) {
    const uint32_t chunk = frameCount / kChunkEntries;
    const uint32_t entry = frameCount % kChunkEntries;
    if (frameCount >= maxFrames_) return false;
    if (entry == 0) {
        uint32_t* starts = new (std::nothrow) uint32_t[kChunkEntries]();
        uint32_t* lengths = new (std::nothrow) uint32_t[kChunkEntries]();
        if (starts == nullptr || lengths == nullptr) {
            delete[] starts;
            delete[] lengths;
            return false;
        }
        startChunks_.push_back(starts);
        lengthChunks_.push_back(lengths);
        chunksInUse_ = chunk + 1;
    }
    startChunks_[chunk][entry] = start;
    lengthChunks_[chunk][entry] = length;
    ++frameCount;
    return true;
}

uint32_t Mp3FrameIndex::FrameOffset(uint32_t i) const {
    if (i >= frameCount || i / kChunkEntries >= chunksInUse_) return 0;
    return startChunks_[i / kChunkEntries][i % kChunkEntries];
}

uint32_t Mp3FrameIndex::FrameLength(uint32_t i) const {
    if (i >= frameCount || i / kChunkEntries >= chunksInUse_) return 0;
    return lengthChunks_[i / kChunkEntries][i % kChunkEntries];
}

bool Mp3FrameIndex::CopyFrameTables(const uint8_t** frameStart, uint32_t* frameLength,
                                    uint32_t capacity) const {
    if (capacity < frameCount || chunksInUse_ * kChunkEntries < frameCount) return false;
    for (uint32_t i = 0; i < frameCount; ++i) {
        frameStart[i] = data_ + startChunks_[i / kChunkEntries][i % kChunkEntries];
        frameLength[i] = lengthChunks_[i / kChunkEntries][i % kChunkEntries];
    }
    return true;
}

void Mp3FrameIndex::ReleaseChunks() {
    for (uint32_t* chunk : startChunks_) delete[] chunk;
    for (uint32_t* chunk : lengthChunks_) delete[] chunk;
    startChunks_.clear();
    lengthChunks_.clear();
    chunksInUse_ = 0;
}

}  // namespace sonotrap
