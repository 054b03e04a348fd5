#include <cstring>

#include "mp3dec/DecoderTables.h"
#include "mp3dec/Layer3Granule.h"
#include "mp3dec/Layer3Tables.h"

namespace sonotrap::mp3 {
namespace {

constexpr uint8_t kMpeg1Illegal = 7;

void ReadShort(BitCursor& c, ChannelGranule& ch, int first, int last, uint32_t slen) {
    for (int b = first; b < last; ++b)
        for (int w = 0; w < 3; ++w) ch.scalefacShort[b][w] = static_cast<uint8_t>(c.Read(slen));
}

}  // namespace

uint32_t ReadScaleFactorsMpeg1(BitCursor& c, const GranuleInfo& g, uint32_t scfsi, int granule,
                               ChannelGranule& ch) {
    const uint32_t start = c.position;
    const uint32_t slen1 = kMpeg1Slen[g.scalefac_compress & 15][0];
    const uint32_t slen2 = kMpeg1Slen[g.scalefac_compress & 15][1];
    std::memset(ch.illegalLong, kMpeg1Illegal, sizeof ch.illegalLong);
    std::memset(ch.illegalShort, kMpeg1Illegal, sizeof ch.illegalShort);
    if (g.window_switching && g.block_type == 2) {
        if (g.mixed_block_flag) {
            for (int b = 0; b < 8; ++b) ch.scalefacLong[b] = static_cast<uint8_t>(c.Read(slen1));
            ReadShort(c, ch, 3, 6, slen1);
        } else {
            ReadShort(c, ch, 0, 6, slen1);
        }
        ReadShort(c, ch, 6, 12, slen2);
        for (int w = 0; w < 3; ++w) ch.scalefacShort[12][w] = 0;
        return c.position - start;
    }
    static const int kGroupStart[5] = {0, 6, 11, 16, 21};
    for (int group = 0; group < 4; ++group) {
        if (granule == 1 && (scfsi >> (3 - group)) & 1) continue;  // reuse granule 0's
        const uint32_t slen = group < 2 ? slen1 : slen2;
        for (int b = kGroupStart[group]; b < kGroupStart[group + 1]; ++b)
            ch.scalefacLong[b] = static_cast<uint8_t>(c.Read(slen));
    }
    ch.scalefacLong[21] = 0;
    return c.position - start;
}

uint32_t ReadScaleFactorsMpeg2(BitCursor& c, GranuleInfo& g, bool intensityRight,
                               ChannelGranule& ch) {
    const uint32_t start = c.position;
    const LsfLayout& layout = Tables().lsfLayout[intensityRight ? 1 : 0][g.scalefac_compress & 511];
    const bool isShort = g.window_switching && g.block_type == 2;
    const int shape = isShort ? (g.mixed_block_flag ? 2 : 1) : 0;
    const uint8_t* counts = kLsfBandsPerPartition[layout.row][shape];
    g.preflag = layout.preflag;

    uint8_t values[40] = {}, illegal[40] = {};
    int n = 0;
    for (int part = 0; part < 4; ++part) {
        const uint32_t slen = layout.slen[part];
        for (int i = 0; i < counts[part] && n < 40; ++i, ++n) {
            values[n] = static_cast<uint8_t>(c.Read(slen));
            illegal[n] = static_cast<uint8_t>((1u << slen) - 1);
        }
    }
    std::memset(ch.scalefacLong, 0, sizeof ch.scalefacLong);
    std::memset(ch.scalefacShort, 0, sizeof ch.scalefacShort);
    std::memset(ch.illegalLong, 0, sizeof ch.illegalLong);
    std::memset(ch.illegalShort, 0, sizeof ch.illegalShort);
    int v = 0;
    if (shape == 0) {
        for (int b = 0; b < 21; ++b, ++v) {
            ch.scalefacLong[b] = values[v];
            ch.illegalLong[b] = illegal[v];
        }
    } else {
        int firstShort = 0;
        if (shape == 2) {
            for (int b = 0; b < 6; ++b, ++v) {
                ch.scalefacLong[b] = values[v];
                ch.illegalLong[b] = illegal[v];
            }
            firstShort = 3;
        }
        for (int b = firstShort; b < 12; ++b)
            for (int w = 0; w < 3; ++w, ++v) {
                ch.scalefacShort[b][w] = values[v];
                ch.illegalShort[b][w] = illegal[v];
            }
    }
    return c.position - start;
}

}  // namespace sonotrap::mp3
