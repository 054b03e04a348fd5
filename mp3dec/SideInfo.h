#pragma once
#include <cstdint>

#include "mp3dec/BitReservoir.h"

namespace sonotrap::mp3 {

// Side information of one granule and channel.
struct GranuleInfo {
    uint32_t part2_3_length;
    uint32_t big_values;         // pairs, at most 288
    int32_t gainPosition;        // position in the gain-power table: -global_gain (- 2 for M/S)
    uint32_t scalefac_compress;
    uint32_t window_switching;
    uint32_t block_type;
    uint32_t mixed_block_flag;
    uint32_t table_select[3];
    int32_t subblockGainPosition[3];  // gainPosition + 8 * subblock_gain
    uint32_t region1start;       // in pairs of lines
    uint32_t region2start;
    uint32_t preflag;
    uint32_t scalefac_scale;
    uint32_t count1table_select;
};

struct SideInfo {
    uint32_t main_data_begin;
    uint32_t private_bits;
    uint32_t scfsi[2];
    GranuleInfo granule[2][2];  // [granule][channel]
};

// Header fields that the side information depends on.
struct FrameShape {
    uint32_t lsf;                // 1 for MPEG-2 low sampling rates
    uint32_t channels;
    uint32_t samplingFrequency;  // 0..5
    bool middleSide;
};

// Parses the side information at the cursor (after any CRC).
void ParseSideInfo(BitCursor& cursor, const FrameShape& shape, SideInfo& side);

}  // namespace sonotrap::mp3
