#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp3dec/SideInfo.h"

namespace sonotrap::enctest {

// The encoder's frames read back by the project's decoder: side information and each
// granule's quantised lines (recovered from the decoder's dequantised ones), so a mistake in
// the encoder's tables cannot cancel out against the same mistake in the reader.
struct DecodedGranule {
    int values[576] = {};
    bool cleanEnd = false;  // the lines ended inside part2_3_length, not in an overrun
};

struct DecodedFrame {
    uint32_t header = 0;
    mp3::SideInfo side{};
    DecodedGranule granules[2][2];  // [granule][channel]
    int GlobalGain(int gr, int ch) const { return -side.granule[gr][ch].gainPosition; }
};

// Reads one self-contained frame of the given length; false when it is not Layer III.
bool DecodeFrameLines(const uint8_t* frame, size_t size, DecodedFrame& out);
// Splits a stream of equal-sized frames.
std::vector<DecodedFrame> DecodeStreamLines(const std::vector<uint8_t>& bytes, size_t frameBytes);
// The whole stream through the decoder as a music file is played: 16-bit PCM, channels
// interleaved (the decoder never decodes the last frame).
std::vector<int16_t> DecodePcm(const std::vector<uint8_t>& bytes);

}  // namespace sonotrap::enctest
