#pragma once
#include <cstdint>

namespace sonotrap::mp3 {

// Constant Layer III tables of ISO/IEC 11172-3 and 13818-3. Sampling-frequency index 0..5 is
// 44100, 48000, 32000, 22050, 24000, 16000 Hz.
extern const uint16_t kLongBandStart[6][23];   // 22 long bands, 576 lines
extern const uint16_t kShortBandStart[6][14];  // 13 short bands per window, 192 lines
extern const uint8_t kPretab[22];
extern const uint8_t kMpeg1Slen[16][2];                  // scalefac_compress -> slen1, slen2
extern const uint8_t kLsfBandsPerPartition[6][3][4];     // [row][long, short, mixed][partition]
extern const double kSynthesisWindowD[512];

}  // namespace sonotrap::mp3
