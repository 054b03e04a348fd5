#include "mp3enc/HuffmanBitCount.h"

#include <algorithm>
#include <initializer_list>

#include "mp3enc/HuffmanTables.h"

namespace sonotrap::mp3enc {
namespace {

// Regions hold whole pairs; two running maxima halve the dependency chain.
int LargestMagnitude(const int* q, int begin, int end) {
    int even = 0;
    int odd = 0;
    for (int i = begin; i < end; i += 2) {
        even = std::max(even, q[i]);
        odd = std::max(odd, q[i + 1]);
    }
    return std::max(even, odd);
}

// The code lengths, sign bits included, of up to three tables of equal size packed into 16-bit
// fields of one word, so one pass over a region counts all candidates of a group at once.
struct PackedGroup {
    int tables[3] = {0, 0, 0};
    int count = 0;
    int yDim = 0;
    uint64_t lengths[256] = {};
    PackedGroup(std::initializer_list<int> members) {
        for (int t : members) tables[count++] = t;
        yDim = kHuffmanTables[tables[0]].yDim;
        for (int i = 0; i < kHuffmanTables[tables[0]].xDim * yDim; ++i) {
            const uint64_t signs = (i / yDim != 0) + (i % yDim != 0);
            for (int c = 0; c < count; ++c) lengths[i] |= (kHuffmanTables[tables[c]].lengths[i] + signs) << (16 * c);
        }
    }
};

struct PackedGroups {
    // Groups by the largest magnitude they code: 1, 2, 3, 5, 7 and 14; the last pair are the
    // two escape code tables (16..23 and 24..31).
    PackedGroup small[6] = {{1}, {2, 3}, {5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 15}};
    PackedGroup escape{16, 24};
};

const PackedGroups& Groups() {
    static const PackedGroups groups;
    return groups;
}

// Cheapest table of a group; ties go to the later (higher-numbered) one.
int CheapestOf(const int* q, int begin, int end, const PackedGroup& g, int* bits) {
    uint64_t sum = 0;
    for (int i = begin; i < end; i += 2) sum += g.lengths[q[i] * g.yDim + q[i + 1]];
    int best = 0;
    int bestBits = 0;
    for (int c = 0; c < g.count; ++c) {
        const int b = static_cast<int>((sum >> (16 * c)) & 0xffff);
        if (c == 0 || b <= bestBits) {
            best = g.tables[c];
            bestBits = b;
        }
    }
    *bits = bestBits;
    return best;
}

int FirstWithEscape(int first, int last, int escape) {
    for (int t = first; t < last; ++t) {
        if (kHuffmanTables[t].largestEscape >= escape) return t;
    }
    return last;  // the widest table; larger magnitudes never reach the counting
}

// Tables 15..23 against 24..31 for a region whose largest magnitude m is 15 or more.
int ChooseEscapeTable(const int* q, int begin, int end, int m, int* bits) {
    const PackedGroup& g = Groups().escape;
    uint64_t sum = 0;
    int escapes = 0;
    for (int i = begin; i < end; i += 2) {
        const int x = std::min(q[i], 15);
        const int y = std::min(q[i + 1], 15);
        sum += g.lengths[x * 16 + y];
        escapes += (x == 15) + (y == 15);
    }
    const int a = FirstWithEscape(15, 23, m - 15);
    // Table 15 codes 15 itself and has no escape; 16..23 share code table 16.
    const int bitsA = a == 15 ? RegionBits(q, begin, end, 15)
                              : static_cast<int>(sum & 0xffff) + escapes * kHuffmanTables[a].linbits;
    const int b = FirstWithEscape(24, 31, m - 15);
    const int bitsB = static_cast<int>((sum >> 16) & 0xffff) + escapes * kHuffmanTables[b].linbits;
    *bits = bitsB < bitsA ? bitsB : bitsA;
    return bitsB < bitsA ? b : a;
}

}  // namespace

int RegionBits(const int* q, int begin, int end, int table) {
    const HuffmanTable& h = kHuffmanTables[table];
    int bits = 0;
    if (h.linbits == 0) {
        for (int i = begin; i < end; i += 2) {
            const int x = q[i];
            const int y = q[i + 1];
            bits += h.lengths[x * h.yDim + y] + (x != 0) + (y != 0);
        }
        return bits;
    }
    for (int i = begin; i < end; i += 2) {
        int x = q[i];
        int y = q[i + 1];
        if (x > 14) {
            x = 15;
            bits += h.linbits;
        }
        if (y > 14) {
            y = 15;
            bits += h.linbits;
        }
        bits += h.lengths[x * 16 + y] + (x != 0) + (y != 0);
    }
    return bits;
}

int ChooseRegionTable(const int* q, int begin, int end, int* bits) {
    const int m = LargestMagnitude(q, begin, end);
    *bits = 0;
    if (m == 0) return 0;
    if (m >= 15) return ChooseEscapeTable(q, begin, end, m, bits);
    static constexpr int kGroupOfMagnitude[15] = {0, 0, 1, 2, 3, 3, 4, 4, 5, 5, 5, 5, 5, 5, 5};
    return CheapestOf(q, begin, end, Groups().small[kGroupOfMagnitude[m]], bits);
}

int Count1Bits(const int* q, int begin, int quads, int table) {
    const uint8_t* lengths = kHuffmanTables[table].lengths;
    int bits = 0;
    for (int k = 0; k < quads; ++k) {
        const int* v = q + begin + 4 * k;
        bits += lengths[8 * v[0] + 4 * v[1] + 2 * v[2] + v[3]] + v[0] + v[1] + v[2] + v[3];
    }
    return bits;
}

int ChooseCount1Table(const int* q, int begin, int quads, int* tableSelect) {
    // Table B is 4 bits a quadruple; both add the same sign bits.
    const uint8_t* lengths = kHuffmanTables[kCount1TableA].lengths;
    int a = 0;
    int b = 4 * quads;
    for (int k = 0; k < quads; ++k) {
        const int* v = q + begin + 4 * k;
        const int signs = v[0] + v[1] + v[2] + v[3];
        a += lengths[8 * v[0] + 4 * v[1] + 2 * v[2] + v[3]] + signs;
        b += signs;
    }
    *tableSelect = a >= b ? 1 : 0;
    return a >= b ? b : a;
}

}  // namespace sonotrap::mp3enc
