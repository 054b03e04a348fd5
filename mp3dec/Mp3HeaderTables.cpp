#include "mp3dec/Mp3HeaderTables.h"

namespace sonotrap::mp3 {

const uint16_t kBitrateKbps[2][16] = {
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};

const uint32_t kSampleRateHz[2][4] = {
    {44100, 48000, 32000, 0},
    {22050, 24000, 16000, 0},
};

uint32_t FrameLengthBytes(uint32_t kbps, uint32_t rate, bool lsf, uint32_t padding) {
    const float bytes = static_cast<float>(kbps * 144 * 1000) / static_cast<float>(rate);
    uint32_t length = static_cast<uint32_t>(bytes);
    if (lsf) length >>= 1;
    return length + padding;
}

}  // namespace sonotrap::mp3
