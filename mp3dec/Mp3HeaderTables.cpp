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

}  // namespace sonotrap::mp3
