#include "mp3dec/Layer3Granule.h"

#include <algorithm>
#include <bit>
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

// Bits most significant first from a 64-bit word refilled whole bytes at a time: a code's
// bits are already in a register, so decoding it does not wait for a load from the stream
// that depends on the code before. Refill leaves at least 56 bits in the word; the bits
// below those counted are zero or already the stream's next ones.
class BitBuffer {
public:
    BitBuffer(const uint8_t* data, uint32_t position)
        : next_(data + (position >> 3)), position_(position & ~7u) {
        Refill();
        Skip(position & 7);
    }
    void Refill() {
        const uint8_t* p = next_;
        const uint64_t word = uint64_t{p[0]} << 56 | uint64_t{p[1]} << 48 | uint64_t{p[2]} << 40 |
                              uint64_t{p[3]} << 32 | uint64_t{p[4]} << 24 | uint64_t{p[5]} << 16 |
                              uint64_t{p[6]} << 8 | p[7];  // one load and a byte swap
        word_ |= word >> count_;
        next_ += (63 - count_) >> 3;
        count_ |= 56;
    }
    uint64_t Word() const { return word_; }
    void Skip(uint32_t n) {
        word_ <<= n;
        count_ -= n;
        position_ += n;
    }
    uint32_t Position() const { return position_; }  // in bits from the data's start

private:
    const uint8_t* next_;
    uint64_t word_ = 0;
    uint32_t count_ = 0;
    uint32_t position_;
};

// The leaf of the code at the front of `word`.
inline uint32_t Lookup(const HuffmanLookup& lookup, uint64_t word) {
    const uint32_t* entries = lookup.entries.data();
    uint32_t e = entries[word >> (64 - lookup.rootBits)];
    while (e & HuffmanLookup::kSubtableFlag) {
        const uint32_t depth = (e >> 21) & 31, bits = (e >> 16) & 31;
        e = entries[(e & 0xFFFF) + ((word << depth) >> (64 - bits))];
    }
    return e;
}

// |value|^(4/3) with the sign bit given (a zero value has no sign bit and stays +0).
inline double SignedPow43(const DecoderTables& t, uint32_t value, uint64_t sign) {
    return std::bit_cast<double>(std::bit_cast<uint64_t>(t.pow43[value]) | sign << 63);
}

// Big-values pairs of lines [line, regionEnd) with one table. False on an overrun.
template <bool kEscapes>
bool DecodePairs(BitBuffer& bits, uint32_t end, const HuffmanLookup& lookup, uint32_t linbits,
                 uint32_t regionEnd, const Step* steps, int& step, uint32_t& line, double* xr) {
    const DecoderTables& t = Tables();
    while (line < regionEnd) {
        while (line >= steps[step].end) ++step;
        const uint32_t stop = std::min(regionEnd, steps[step].end);
        const double factor = steps[step].factor;
        for (; line < stop; line += 2) {
            bits.Refill();  // a pair takes at most 19 + 2 * (13 + 1) bits
            const uint64_t word = bits.Word();
            const uint32_t e = Lookup(lookup, word);
            if constexpr (!kEscapes) {
                if (e & HuffmanLookup::kSignsResolved) {  // the common short codes
                    bits.Skip(e & 63);
                    xr[line] = t.pow43Signed[(e >> 6) & 31] * factor;
                    xr[line + 1] = t.pow43Signed[(e >> 11) & 31] * factor;
                    if (bits.Position() > end) return false;
                    continue;
                }
            }
            uint32_t x = (e >> 11) & 15, y = (e >> 15) & 15;
            uint64_t rest = word << ((e >> 6) & 31);  // the bits after the code
            if constexpr (kEscapes) {
                bits.Skip((e & 63) + ((e >> 19) & 3) * linbits);
                if (x == 15) {
                    x += static_cast<uint32_t>(rest >> (64 - linbits));
                    rest <<= linbits;
                }
            } else {
                bits.Skip(e & 63);
            }
            const uint64_t signX = (rest >> 63) & (x != 0);
            rest <<= (x != 0);
            if constexpr (kEscapes) {
                if (y == 15) {
                    y += static_cast<uint32_t>(rest >> (64 - linbits));
                    rest <<= linbits;
                }
            }
            const uint64_t signY = (rest >> 63) & (y != 0);
            xr[line] = SignedPow43(t, x, signX) * factor;
            xr[line + 1] = SignedPow43(t, y, signY) * factor;
            if (bits.Position() > end) return false;
        }
    }
    return true;
}

bool DecodeRegion(BitBuffer& bits, uint32_t end, uint32_t tableSelect, uint32_t regionEnd,
                  const Step* steps, int& step, uint32_t& line, double* xr) {
    const HuffmanTableInfo& info = kBigValueTables[tableSelect];
    if (info.codes == nullptr) {  // table 0 (and the undefined 4 and 14): zeros, no bits
        std::fill(xr + line, xr + regionEnd, 0.0);
        line = regionEnd;
        return true;
    }
    const HuffmanLookup& lookup = Tables().bigValues[tableSelect];
    if (info.linbits == 0) return DecodePairs<false>(bits, end, lookup, 0, regionEnd, steps, step, line, xr);
    return DecodePairs<true>(bits, end, lookup, info.linbits, regionEnd, steps, step, line, xr);
}

// Count1 quadruples until the granule's bits run out. A quadruple that would run past the
// end is stuffing cut short: it is dropped and ends the region.
uint32_t DecodeQuadruples(BitBuffer& bits, uint32_t end, uint32_t table, uint32_t line,
                          const Step* steps, int step, double* xr) {
    const DecoderTables& t = Tables();
    const uint32_t* leaves = t.count1[table];
    while (line >= steps[step].end) ++step;
    uint32_t stepEnd = std::min(steps[step].end, kLines);
    while (line < kLines && bits.Position() < end) {
        bits.Refill();
        const uint32_t e = leaves[bits.Word() >> (64 - DecoderTables::kCount1Bits)];
        const uint32_t both = (e & 15) + ((e >> 16) & 15);
        // Two quadruples from one look-up when the second was in its bits, both end inside
        // the granule and both are in one band.
        if (e >> 16 && line + 8 <= stepEnd && bits.Position() + both <= end) {
            bits.Skip(both);
            const double* first = t.quadrupleValues[(e >> 4) & 127];
            const double* second = t.quadrupleValues[e >> 20];
            const double factor = steps[step].factor;
            for (int k = 0; k < 4; ++k) xr[line + k] = first[k] * factor;
            for (int k = 0; k < 4; ++k) xr[line + 4 + k] = second[k] * factor;
            line += 8;
            continue;
        }
        bits.Skip(e & 15);
        if (bits.Position() > end) break;
        const double* v = t.quadrupleValues[(e >> 4) & 127];
        if (line + 4 <= stepEnd) {  // all four in one band
            const double factor = steps[step].factor;
            for (int k = 0; k < 4; ++k) xr[line + k] = v[k] * factor;
            line += 4;
            continue;
        }
        for (int k = 0; k < 4 && line < kLines; ++k, ++line) {
            while (line >= steps[step].end) ++step;
            xr[line] = v[k] * steps[step].factor;
        }
        while (line >= steps[step].end) ++step;
        stepEnd = std::min(steps[step].end, kLines);
    }
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
    BitBuffer bits(c.data, c.position);
    for (int r = 0; r < 3; ++r) {
        if (!DecodeRegion(bits, end, g.table_select[r], regionEnds[r], steps, step, line, xr)) {
            std::fill(xr + line, xr + kLines, 0.0);
            ch.nonzeroEnd = kLines;
            c.position = bits.Position();
            return false;
        }
    }
    line = DecodeQuadruples(bits, end, g.count1table_select, line, steps, step, xr);
    c.position = bits.Position();
    std::fill(xr + line, xr + kLines, 0.0);
    while (line > 0 && xr[line - 1] == 0.0) --line;
    ch.nonzeroEnd = line;
    return true;
}

}  // namespace sonotrap::mp3
