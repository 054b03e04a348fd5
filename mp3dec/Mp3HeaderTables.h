#pragma once
#include <cstdint>

namespace sonotrap::mp3 {

// Header-level tables of ISO/IEC 11172-3 and 13818-3 for Layer III.
// Bit rate in kbit/s by [lsf][bitrate_index] (0 = free format, 15 = forbidden, both 0 here).
extern const uint16_t kBitrateKbps[2][16];
// Sampling rate in Hz by [lsf][sampling_frequency] (index 3 reserved, 0 here).
extern const uint32_t kSampleRateHz[2][4];

// Frame length in bytes (header included) as encoders compute it: single precision,
// truncated, halved for MPEG-2, plus the padding byte.
uint32_t FrameLengthBytes(uint32_t kbps, uint32_t rate, bool lsf, uint32_t padding);

}  // namespace sonotrap::mp3
