#include "mp3enc/FrameWriter.h"

#include <cstdlib>
#include <initializer_list>

#include "mp3enc/HuffmanTables.h"

namespace sonotrap::mp3enc {
namespace {

void PutHeader(BitWriter& out, const FrameHeader& h) {
    out.Put(0xfff, 12);
    out.Put(static_cast<uint32_t>(h.version), 1);
    out.Put(1, 2);  // Layer III
    out.Put(h.crcProtection ? 0 : 1, 1);
    out.Put(static_cast<uint32_t>(h.bitrateIndex), 4);
    out.Put(static_cast<uint32_t>(h.samplingFrequencyIndex), 2);
    out.Put(static_cast<uint32_t>(h.padding), 1);
    out.Put(static_cast<uint32_t>(h.privateBit), 1);
    out.Put(static_cast<uint32_t>(h.mode), 2);
    out.Put(static_cast<uint32_t>(h.modeExtension), 2);
    out.Put(static_cast<uint32_t>(h.copyright), 1);
    out.Put(static_cast<uint32_t>(h.original), 1);
    out.Put(static_cast<uint32_t>(h.emphasis), 2);
}

void PutGranuleSideInfo(BitWriter& out, const GranuleInfo& g) {
    out.Put(static_cast<uint32_t>(g.part23Length), 12);
    out.Put(static_cast<uint32_t>(g.bigValues), 9);
    out.Put(static_cast<uint32_t>(g.globalGain), 8);
    out.Put(static_cast<uint32_t>(g.scalefacCompress), 4);
    out.Put(0, 1);  // window_switching_flag: long blocks only
    for (int r = 0; r < 3; ++r) out.Put(static_cast<uint32_t>(g.tableSelect[r]), 5);
    out.Put(static_cast<uint32_t>(g.region0Count), 4);
    out.Put(static_cast<uint32_t>(g.region1Count), 3);
    out.Put(static_cast<uint32_t>(g.preflag), 1);
    out.Put(static_cast<uint32_t>(g.scalefacScale), 1);
    out.Put(static_cast<uint32_t>(g.count1TableSelect), 1);
}

void PutSideInfo(BitWriter& out, int channels, const SideInfo& side) {
    out.Put(0, 9);                       // main_data_begin: no reservoir
    out.Put(0, channels == 1 ? 5 : 3);   // private bits
    for (int ch = 0; ch < channels; ++ch) out.Put(0, 4);  // scfsi
    for (int gr = 0; gr < 2; ++gr) {
        for (int ch = 0; ch < channels; ++ch) PutGranuleSideInfo(out, side.granules[gr][ch]);
    }
}

void PutMainData(BitWriter& out, const GranuleInfo& g, const int* q) {
    const size_t start = out.BitCount();
    for (int i = 0; i < g.bigValuesEnd; i += 2) {
        const int region = i < g.region1Start ? 0 : (i < g.region2Start ? 1 : 2);
        const int table = g.tableSelect[region];
        if (table != 0) PutPair(out, table, q[i], q[i + 1]);
    }
    const int table = g.count1TableSelect == 0 ? kCount1TableA : kCount1TableB;
    for (int k = 0; k < g.count1; ++k) {
        const int* v = q + g.bigValuesEnd + 4 * k;
        PutQuadruple(out, table, v[0], v[1], v[2], v[3]);
    }
    const int written = static_cast<int>(out.BitCount() - start);
    if (g.part23Length - g.part2Length > written) out.PutOnes(g.part23Length - g.part2Length - written);
}

}  // namespace

// Each pair and quadruple goes out as one field: code, then escapes and signs in stream order.
void PutPair(BitWriter& out, int table, int x, int y) {
    const HuffmanTable& h = kHuffmanTables[table];
    const int ax = std::abs(x);
    const int ay = std::abs(y);
    const int cx = ax < 15 ? ax : 15;
    const int cy = ay < 15 ? ay : 15;
    const int index = h.linbits == 0 ? ax * h.yDim + ay : cx * 16 + cy;
    uint64_t bits = h.codes[index];
    int count = h.lengths[index];
    auto append = [&](uint64_t value, int n) {
        bits = (bits << n) | value;
        count += n;
    };
    if (h.linbits > 0 && cx == 15) append(static_cast<uint64_t>(ax - 15), h.linbits);
    if (x != 0) append(x < 0, 1);
    if (h.linbits > 0 && cy == 15) append(static_cast<uint64_t>(ay - 15), h.linbits);
    if (y != 0) append(y < 0, 1);
    out.Put(bits, count);
}

void PutQuadruple(BitWriter& out, int table, int v, int w, int x, int y) {
    const HuffmanTable& h = kHuffmanTables[table];
    const int index = 8 * (v != 0) + 4 * (w != 0) + 2 * (x != 0) + (y != 0);
    uint64_t bits = h.codes[index];
    int count = h.lengths[index];
    for (int value : {v, w, x, y}) {
        if (value != 0) {
            bits = (bits << 1) | (value < 0);
            ++count;
        }
    }
    out.Put(bits, count);
}

size_t FormatFrame(const FrameHeader& header, int channels, const SideInfo& side,
                   const QuantisedFrame& q, BitWriter& out) {
    out.Clear();
    PutHeader(out, header);
    PutSideInfo(out, channels, side);
    for (int gr = 0; gr < 2; ++gr) {
        for (int ch = 0; ch < channels; ++ch) PutMainData(out, side.granules[gr][ch], q[gr][ch]);
    }
    // Whatever the granules leave is ancillary data; it and any partial byte become 1-bits.
    const size_t frameBits = static_cast<size_t>(header.frameBits);
    if (out.BitCount() < frameBits) out.PutOnes(static_cast<int>(frameBits - out.BitCount()));
    if (out.BitCount() % 8 != 0) out.PutOnes(static_cast<int>(8 - out.BitCount() % 8));
    out.Flush();
    return out.ByteCount();
}

}  // namespace sonotrap::mp3enc
