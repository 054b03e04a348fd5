#pragma once
#include <cstdint>

namespace sonotrap::mp3 {

// A Huffman codeword: its length in bits and its value (first stream bit most significant).
struct HuffmanCode {
    uint8_t length;
    uint32_t code;
};

// One big_values table_select entry: codes listed x-major (x * ylen + y), nullptr for the
// empty table 0 and the undefined tables 4 and 14.
struct HuffmanTableInfo {
    const HuffmanCode* codes;
    uint8_t xlen;
    uint8_t ylen;
    uint8_t linbits;
};

extern const HuffmanTableInfo kBigValueTables[32];
// Count1 tables A and B, 16 codes each indexed by 8v + 4w + 2x + y.
extern const HuffmanCode* const kCount1Codes[2];

}  // namespace sonotrap::mp3
