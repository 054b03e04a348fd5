#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mp3enc/GranuleInfo.h"

namespace sonotrap::enctest {

// A reader of the encoder's own frames for tests: header, side information and the
// Huffman-coded lines, decoded the way a Layer III decoder walks them (big values, then
// count1 quadruples until part2_3_length is used up or 576 lines are filled).
struct ParsedGranule {
    mp3enc::GranuleInfo side;
    int values[576] = {};
    // False when the count1 walk ended inside a code or ran past part2_3_length.
    bool cleanEnd = true;
    int codedBits = 0;  // bits of the big values and of the real (non-zero-tail) quadruples
};

struct ParsedFrame {
    uint8_t headerBytes[4] = {};
    int bitrateIndex = 0;
    int padding = 0;
    int mode = 0;
    int mainDataBegin = -1;
    ParsedGranule granules[2][2];
    int mainDataBits = 0;  // sum of part2_3_length
};

// Parses one frame of the given byte length; false when it is not a Layer III frame.
bool ParseFrame(const uint8_t* data, size_t size, int channels, ParsedFrame& out);

// Splits a stream of equal-sized frames.
std::vector<ParsedFrame> ParseStream(const std::vector<uint8_t>& bytes, size_t frameBytes, int channels);

}  // namespace sonotrap::enctest
