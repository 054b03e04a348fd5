#pragma once
#include <cstdint>

namespace sonotrap {

// The format of a loaded music file's source, shared by the reader, its source readers and the
// rate converter. Four unsigned 32-bit words, in this order.
struct AudioFormat {
    uint32_t channels = 0;      // 1 or 2 in practice
    uint32_t sampleRate = 0;    // Hz
    uint32_t sampleFrames = 0;  // samples per channel in the whole source
    uint32_t formatTag = 0;     // kFormatPcm, kFormatMp3, or 0 when unusable
};

constexpr uint32_t kFormatPcm = 1;
constexpr uint32_t kFormatMp3 = 85;

// The unit that ReadBlock fills: 1152 signed 16-bit mono samples at the output rate.
constexpr uint32_t kMusicBlockSamples = 1152;
constexpr uint32_t kMusicBlockBytes = kMusicBlockSamples * 2;

}  // namespace sonotrap
