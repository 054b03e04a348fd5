#include "mp3enc/Quantizer.h"

#include <algorithm>
#include <cmath>

#include "mp3enc/HuffmanBitCount.h"

namespace sonotrap::mp3enc {
namespace {

// (region0_count, region1_count) by the first band whose boundary reaches the big-values end.
constexpr int kSubdivision[23][2] = {
    {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 1}, {1, 1}, {1, 1}, {1, 2}, {2, 2}, {2, 3}, {2, 3},
    {3, 4}, {3, 4}, {3, 4}, {4, 5}, {4, 5}, {4, 6}, {5, 6}, {5, 6}, {5, 7}, {6, 7}, {6, 7}};

// 2^(-3s/16) for the steps the rate control can use.
struct StepScaleTable {
    static constexpr int kLowest = -256;
    static constexpr int kHighest = 255;
    double scale[kHighest - kLowest + 1];
    StepScaleTable() {
        for (int s = kLowest; s <= kHighest; ++s) scale[s - kLowest] = std::pow(2.0, -0.1875 * s);
    }
    double At(int s) const { return scale[std::clamp(s, kLowest, kHighest) - kLowest]; }
};

}  // namespace

void PoweredLines::From(const double* x) {
    for (int i = 0; i < 576; ++i) {
        const double a = std::fabs(x[i]);
        value[i] = std::sqrt(a * std::sqrt(a));  // a^0.75
    }
    tailMax[576] = 0.0;
    for (int i = 575; i >= 0; --i) tailMax[i] = std::max(tailMax[i + 1], value[i]);
}

namespace {

// Anything above this is rejected by the rate control; the cap keeps the int in range.
constexpr double kMagnitudeCap = 1 << 20;

double StepScale(int step) {
    static const StepScaleTable table;
    return table.At(step);
}

}  // namespace

int LargestMagnitudeAt(const PoweredLines& lines, int step) {
    return static_cast<int>(std::min(lines.tailMax[0] * StepScale(step), kMagnitudeCap));
}

int QuantiseLines(const PoweredLines& lines, int step, int* q) {
    const double scale = StepScale(step);
    // Lines from top up all quantise to 0.
    int top = 576;
    while (top > 0 && lines.tailMax[top - 1] * scale < 1.0) --top;
    const int largest = LargestMagnitudeAt(lines, step);
    if (largest < kMagnitudeCap) {
        top = (top + 7) & ~7;  // whole blocks of eight vectorise; the extra lines give 0 anyway
        for (int b = 0; b < top; b += 8) {
            for (int i = b; i < b + 8; ++i) q[i] = static_cast<int>(lines.value[i] * scale);
        }
    } else {
        for (int i = 0; i < top; ++i) q[i] = static_cast<int>(std::min(lines.value[i] * scale, kMagnitudeCap));
    }
    std::fill(q + top, q + 576, 0);
    return largest;
}

void FindRegionLengths(const int* q, GranuleInfo& g) {
    int n = 576;
    while (n >= 2 && q[n - 1] == 0 && q[n - 2] == 0) n -= 2;
    g.count1 = 0;
    while (n > 3 && q[n - 1] <= 1 && q[n - 2] <= 1 && q[n - 3] <= 1 && q[n - 4] <= 1) {
        ++g.count1;
        n -= 4;
    }
    g.bigValues = n / 2;
}

void SubdivideBigValues(const int* l, GranuleInfo& g) {
    const int e = 2 * g.bigValues;
    g.bigValuesEnd = e;
    if (g.bigValues == 0) {
        g.region0Count = g.region1Count = 0;
        g.region1Start = g.region2Start = 0;
        return;
    }
    int b = 0;
    while (l[b] < e) ++b;
    int r0 = kSubdivision[b][0];
    int r1 = kSubdivision[b][1];
    while (r0 > 0 && l[r0 + 1] > e) --r0;
    while (r1 > 0 && l[r0 + r1 + 2] > e) --r1;
    g.region0Count = r0;
    g.region1Count = r1;
    g.region1Start = l[r0 + 1];
    g.region2Start = l[r0 + r1 + 2];
}

int CountGranuleBits(const int* q, const int* bandBoundaries, GranuleInfo& g, int limit) {
    FindRegionLengths(q, g);
    int bits = ChooseCount1Table(q, 2 * g.bigValues, g.count1, &g.count1TableSelect);
    SubdivideBigValues(bandBoundaries, g);
    // A region may start beyond the big-values end (small big_values): only the pairs below
    // the end are coded, so only they are counted.
    const int e = g.bigValuesEnd;
    const int bounds[4] = {0, std::min(g.region1Start, e), std::min(g.region2Start, e), e};
    for (int r = 0; r < 3; ++r) {
        g.tableSelect[r] = 0;
        if (bounds[r + 1] > bounds[r]) {
            int regionBits = 0;
            g.tableSelect[r] = ChooseRegionTable(q, bounds[r], bounds[r + 1], &regionBits);
            bits += regionBits;
            if (bits > limit) return bits;
        }
    }
    return bits;
}

}  // namespace sonotrap::mp3enc
