#include "mp3enc/HuffmanBitCount.h"

#include <algorithm>
#include <initializer_list>

#include "mp3enc/HuffmanTables.h"

namespace sonotrap::mp3enc {
namespace {

int LargestMagnitude(const int* q, int begin, int end) {
    int m = 0;
    for (int i = begin; i < end; ++i) m = std::max(m, q[i]);
    return m;
}

// Picks the cheapest of the given tables; ties go to the later (higher-numbered) one.
int CheapestOf(const int* q, int begin, int end, std::initializer_list<int> tables, int* bits) {
    int best = 0;
    int bestBits = 0;
    for (int t : tables) {
        const int b = RegionBits(q, begin, end, t);
        if (best == 0 || b <= bestBits) {
            best = t;
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
    if (m < 15) {
        if (m < 2) return CheapestOf(q, begin, end, {1}, bits);
        if (m < 3) return CheapestOf(q, begin, end, {2, 3}, bits);
        if (m < 4) return CheapestOf(q, begin, end, {5, 6}, bits);
        if (m < 6) return CheapestOf(q, begin, end, {7, 8, 9}, bits);
        if (m < 8) return CheapestOf(q, begin, end, {10, 11, 12}, bits);
        return CheapestOf(q, begin, end, {13, 15}, bits);
    }
    const int a = FirstWithEscape(15, 23, m - 15);
    const int b = FirstWithEscape(24, 31, m - 15);
    const int bitsA = RegionBits(q, begin, end, a);
    const int bitsB = RegionBits(q, begin, end, b);
    *bits = bitsB < bitsA ? bitsB : bitsA;
    return bitsB < bitsA ? b : a;
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
    const int a = Count1Bits(q, begin, quads, kCount1TableA);
    const int b = Count1Bits(q, begin, quads, kCount1TableB);
    *tableSelect = a >= b ? 1 : 0;
    return a >= b ? b : a;
}

}  // namespace sonotrap::mp3enc
