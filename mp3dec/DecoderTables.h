#pragma once
#include <cstdint>
#include <vector>

namespace sonotrap::mp3 {

// A big-values Huffman code as a multi-level look-up table indexed by the next bits of the
// stream. A leaf describes a whole pair: bits 0-5 the bits it takes with its sign bits (but
// without linbits), 6-10 the code length, 11-14 x, 15-18 y, 19-20
// how many of x and y are 15 (each takes linbits more). With kSubtableFlag set, an entry
// points at a subtable: (depth << 21) | (bits << 16) | offset, indexed by the `bits` bits
// that follow the first `depth`. Leaves in subtables hold the whole code's length, so one
// shift consumes a pair wherever its leaf was found. In tables without linbits, a root leaf
// whose code and sign bits all fit in the index has kSignsResolved set instead: bits 0-5 the
// bits taken, 6-10 and 11-15 x and y with their signs as indexes into pow43Signed.
struct HuffmanLookup {
    static constexpr uint32_t kSubtableFlag = 0x80000000u;
    static constexpr uint32_t kSignsResolved = 0x40000000u;
    std::vector<uint32_t> entries;
    uint32_t rootBits = 0;
};

// MPEG-2 scale-factor layout chosen by scalefac_compress.
struct LsfLayout {
    uint8_t slen[4];
    uint8_t row;
    uint8_t preflag;
};

// Tables computed once from formulas and the constant tables, shared read-only by decoders.
struct DecoderTables {
    static constexpr int kGainOffset = 256;  // gainPow[i + kGainOffset] = 2^(-(i + 210) / 4)
    static constexpr int kGainMin = -256;
    static constexpr int kGainMax = 121;
    double gainPow[378];
    double pow43[8207];
    double pow43Signed[31];  // sign(i - 15) |i - 15|^(4/3)
    double antialiasCs[8];
    double antialiasCa[8];
    double window[4][36];     // block types 0..3 (type 2: 12-point short window)
    double windowOdd[4][36];  // the same with every odd sample negated (odd subbands)
    double windowLanes[4][36][4];  // four subbands from an even one: window, odd, window, odd
    double imdct12[6][6];
    // The 18-point DCT-IV through a 9-point complex DFT (3 x 3): twiddles as (cos, sin).
    double dct18Pre[9][2];        // e^(i pi (4m + 1) / 72)
    double dct18Post[9][2];       // e^(i pi 4p / 72)
    double dct18Twiddle[3][3][2];  // e^(i 2 pi p1 m2 / 9)     // cos(pi / 24 (2n + 1)(2k + 1))
    double intensityMpeg1[2][16][2];     // [with middle/side][is_pos][left, right]
    double intensityMpeg2[2][2][32][2];  // [with middle/side][intensity_scale][is_pos][l, r]
    uint16_t shortLineIndex[6][576];     // short-block time order -> bitstream line
    LsfLayout lsfLayout[2][512];         // [ordinary, intensity right channel][sfc]
    HuffmanLookup bigValues[32];
    // Count1 quadruples by the next kCount1Bits bits, which hold any code with its signs:
    // (values << 4) | bits taken, values indexing quadrupleValues; in the upper 16 bits the
    // same for the quadruple that follows when its code and signs are in those bits too
    // (0 otherwise).
    static constexpr uint32_t kCount1Bits = 10;
    uint32_t count1[2][1 << kCount1Bits];
    double quadrupleValues[81][4];       // every quadruple of 0, 1 and -1
    double dctFactor[5][16];             // 1 / (2 cos(pi (2k + 1) / (64 >> t)))
    double synthesisWindow[16][20];        // [age][j]: D[j + 32 age], scaled, j = 0..16
    double synthesisWindowMirror[16][20];  // the same for output 32 - j (j = 1..15)
    bool avx2 = false;                     // the kernels for AVX2 may run on this processor
};

// The shared tables; builds them on first use (thread-safe).
const DecoderTables& Tables();

}  // namespace sonotrap::mp3
