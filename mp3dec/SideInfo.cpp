#include "mp3dec/SideInfo.h"

#include <algorithm>

#include "mp3dec/Layer3Tables.h"

namespace sonotrap::mp3 {
namespace {

constexpr uint32_t kMaxBigValues = 288;

void ParseGranule(BitCursor& c, const FrameShape& shape, GranuleInfo& g) {
    g.part2_3_length = c.Read(12);
    g.big_values = std::min(c.Read(9), kMaxBigValues);
    const uint32_t globalGain = c.Read(8);
    g.gainPosition = -static_cast<int32_t>(globalGain) + (shape.middleSide ? 2 : 0);
    g.scalefac_compress = c.Read(shape.lsf ? 9 : 4);
    g.window_switching = c.Read(1);
    const uint16_t* longStart = kLongBandStart[shape.samplingFrequency];
    if (g.window_switching) {
        g.block_type = c.Read(2);
        g.mixed_block_flag = c.Read(1);
        g.table_select[0] = c.Read(5);
        g.table_select[1] = c.Read(5);
        g.table_select[2] = 0;
        for (int w = 0; w < 3; ++w)
            g.subblockGainPosition[w] = g.gainPosition + 8 * static_cast<int32_t>(c.Read(3));
        const bool lsfLong = shape.lsf && (g.block_type == 1 || g.block_type == 3);
        g.region1start = lsfLong ? 27 : 18;
        g.region2start = 288;
    } else {
        g.block_type = 0;
        g.mixed_block_flag = 0;
        for (int r = 0; r < 3; ++r) g.table_select[r] = c.Read(5);
        for (int w = 0; w < 3; ++w) g.subblockGainPosition[w] = g.gainPosition;
        const uint32_t region0 = c.Read(4);
        const uint32_t region1 = c.Read(3);
        // Band counts past the table's end mean "to the last line".
        g.region1start = longStart[std::min<uint32_t>(region0 + 1, 22)] / 2;
        g.region2start = longStart[std::min<uint32_t>(region0 + region1 + 2, 22)] / 2;
    }
    g.preflag = shape.lsf ? 0 : c.Read(1);
    g.scalefac_scale = c.Read(1);
    g.count1table_select = c.Read(1);
}

}  // namespace

void ParseSideInfo(BitCursor& c, const FrameShape& shape, SideInfo& side) {
    const uint32_t channels = shape.channels;
    if (shape.lsf) {
        side.main_data_begin = c.Read(8);
        side.private_bits = c.Read(channels == 1 ? 1 : 2);
        side.scfsi[0] = side.scfsi[1] = 0;
    } else {
        side.main_data_begin = c.Read(9);
        side.private_bits = c.Read(channels == 1 ? 5 : 3);
        for (uint32_t ch = 0; ch < channels; ++ch) side.scfsi[ch] = c.Read(4);
    }
    const uint32_t granules = shape.lsf ? 1 : 2;
    for (uint32_t gr = 0; gr < granules; ++gr)
        for (uint32_t ch = 0; ch < channels; ++ch) ParseGranule(c, shape, side.granule[gr][ch]);
}

}  // namespace sonotrap::mp3
