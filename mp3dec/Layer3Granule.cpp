#include "mp3dec/Layer3Granule.h"

#include <algorithm>
#include <cstring>

#include "mp3dec/DecoderTables.h"
#include "mp3dec/HuffmanTables.h"
#include "mp3dec/Layer3Tables.h"

namespace sonotrap::mp3 {
namespace {

constexpr uint32_t kLines = 576;
constexpr uint32_t kMixedLongLines = 36;  // the long part of a mixed block: subbands 0 and 1

// A run of lines that share one dequantisation factor (a band, or a band's window).
struct Step {
    uint32_t end;
    double factor;
};

double GainFactor(const DecoderTables& t, int32_t position) {
    position = std::clamp(position, DecoderTables::kGainMin, DecoderTables::kGainMax);
    return t.gainPow[position + DecoderTables::kGainOffset];
}

int BuildSteps(const GranuleInfo& g, int sf, const ChannelGranule& ch, Step* steps) {
    const DecoderTables& t = Tables();
    const int shift = 1 + static_cast<int>(g.scalefac_scale);
    const uint16_t* longStart = kLongBandStart[sf];
    const uint16_t* shortStart = kShortBandStart[sf];
    int n = 0;
    const bool isShort = g.window_switching && g.block_type == 2;
    int b = 0;
    for (; b < 22; ++b) {
        if (isShort && (!g.mixed_block_flag || longStart[b + 1] > kMixedLongLines)) break;
        const int boost = ch.scalefacLong[b] + (g.preflag ? kPretab[b] : 0);
        steps[n++] = {longStart[b + 1], GainFactor(t, g.gainPosition + (boost << shift))};
    }
    if (!isShort) return n;
    for (int band = g.mixed_block_flag ? 3 : 0; band < 13; ++band) {
        const uint32_t width = shortStart[band + 1] - shortStart[band];
        for (int w = 0; w < 3; ++w) {
            const int32_t position = g.subblockGainPosition[w] + (ch.scalefacShort[band][w] << shift);
            steps[n++] = {3u * shortStart[band] + (w + 1) * width, GainFactor(t, position)};
        }
    }
    return n;
}

uint32_t DecodeSymbol(const HuffmanLookup& lookup, BitCursor& c) {
    uint32_t bits = lookup.rootBits;
    uint32_t offset = 0;
    for (;;) {
        const uint32_t e = lookup.entries[offset + c.Peek(bits)];
        if (!(e & HuffmanLookup::kSubtableFlag)) {
            c.Skip((e >> 8) & 0xFF);
            return e & 0xFF;
        }
        c.Skip(bits);
        bits = (e >> 16) & 0xFF;
        offset = e & 0xFFFF;
    }
}

inline double Signed(const DecoderTables& t, uint32_t magnitude, BitCursor& c) {
    if (magnitude == 0) return 0.0;
    return c.Read(1) ? -t.pow43[magnitude] : t.pow43[magnitude];
}

// Big-values pairs of lines [line, regionEnd) with one table. False on an overrun.
bool DecodePairs(BitCursor& cursor, uint32_t end, uint32_t tableSelect, uint32_t regionEnd,
                 const Step* steps, int& step, uint32_t& line, double* xr) {
    const DecoderTables& t = Tables();
    const HuffmanTableInfo& info = kBigValueTables[tableSelect];
    if (info.codes == nullptr) {  // table 0 (and the undefined 4 and 14): zeros, no bits
        std::fill(xr + line, xr + regionEnd, 0.0);
        line = regionEnd;
        return true;
    }
    const HuffmanLookup& lookup = t.bigValues[tableSelect];
    const uint32_t linbits = info.linbits;
    BitCursor c = cursor;  // a local copy: stores to xr cannot alias it
    for (; line < regionEnd; line += 2) {
        while (line >= steps[step].end) ++step;
        const uint32_t symbol = DecodeSymbol(lookup, c);
        uint32_t x = symbol >> 4, y = symbol & 15;
        double vx, vy;
        if (linbits == 0) {  // both sign bits from one look
            const uint32_t bits = c.Peek32();
            const uint32_t signX = x ? bits >> 31 : 0;
            const uint32_t signY = y ? (bits << (x ? 1 : 0)) >> 31 : 0;
            c.Skip((x != 0) + (y != 0));
            vx = signX ? -t.pow43[x] : t.pow43[x];
            vy = signY ? -t.pow43[y] : t.pow43[y];
        } else {
            if (x == 15) x += c.Read(linbits);
            vx = Signed(t, x, c);
            if (y == 15) y += c.Read(linbits);
            vy = Signed(t, y, c);
        }
        const double factor = steps[step].factor;
        xr[line] = vx * factor;
        xr[line + 1] = vy * factor;
        if (c.position > end) {
            cursor = c;
            return false;
        }
    }
    cursor = c;
    return true;
}

// Count1 quadruples until the granule's bits run out. A quadruple that would run past the
// end is stuffing cut short: it is dropped and ends the region.
uint32_t DecodeQuadruples(BitCursor& cursor, uint32_t end, uint32_t table, uint32_t line,
                          const Step* steps, int step, double* xr) {
    const DecoderTables& t = Tables();
    const HuffmanLookup& lookup = t.count1[table];
    BitCursor c = cursor;
    while (line < kLines && c.position < end) {
        // Count1 codes are at most 6 bits: the root table resolves every one.
        const uint32_t entry = lookup.entries[c.Peek(lookup.rootBits)];
        c.Skip((entry >> 8) & 0xFF);
        const uint32_t symbol = entry & 0xFF;
        uint32_t signs = c.Peek32();  // the sign bits of the non-zero values, in order
        double v[4];
        for (int k = 0; k < 4; ++k) {  // without branches: the bits are unpredictable
            const uint32_t present = (symbol >> (3 - k)) & 1;
            v[k] = static_cast<double>(static_cast<int>(present) *
                                       (1 - 2 * static_cast<int>(signs >> 31)));
            signs <<= present;
            c.Skip(present);
        }
        if (c.position > end) break;
        for (int k = 0; k < 4 && line < kLines; ++k, ++line) {
            while (line >= steps[step].end) ++step;
            xr[line] = v[k] * steps[step].factor;
        }
    }
    cursor = c;
    return line;
}

}  // namespace

bool Dequantise(BitCursor& c, uint32_t end, const GranuleInfo& g, int sf, ChannelGranule& ch) {
    Step steps[48];
    const int stepCount = BuildSteps(g, sf, ch, steps);
    steps[stepCount] = {~0u, 0.0};  // sentinel
    double* xr = ch.xr;
    const uint32_t bigEnd = 2 * g.big_values;
    const uint32_t region1 = std::min(2 * g.region1start, bigEnd);
    const uint32_t region2 = std::clamp(2 * g.region2start, region1, bigEnd);
    uint32_t line = 0;
    int step = 0;
    const uint32_t regionEnds[3] = {region1, region2, bigEnd};
    for (int r = 0; r < 3; ++r) {
        if (!DecodePairs(c, end, g.table_select[r], regionEnds[r], steps, step, line, xr)) {
            std::fill(xr + line, xr + kLines, 0.0);
            ch.nonzeroEnd = kLines;
            return false;
        }
    }
    line = DecodeQuadruples(c, end, g.count1table_select, line, steps, step, xr);
    std::fill(xr + line, xr + kLines, 0.0);
    while (line > 0 && xr[line - 1] == 0.0) --line;
    ch.nonzeroEnd = line;
    return true;
}

}  // namespace sonotrap::mp3
