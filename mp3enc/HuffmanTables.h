#pragma once
#include <cstdint>

namespace sonotrap::mp3enc {

// One Huffman code table of the Layer III big-values (0..31) or count1 (32 = A, 33 = B)
// codes. Entry index x * yDim + y; tables 0, 4 and 14 have no codes.
struct HuffmanTable {
    int xDim;
    int yDim;
    int linbits;
    int largestEscape;  // 2^linbits - 1
    const uint32_t* codes;
    const uint8_t* lengths;
};

constexpr int kHuffmanTableCount = 34;
constexpr int kCount1TableA = 32;
constexpr int kCount1TableB = 33;
extern const HuffmanTable kHuffmanTables[kHuffmanTableCount];

}  // namespace sonotrap::mp3enc
