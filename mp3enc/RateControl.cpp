#include "mp3enc/RateControl.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <numbers>

#include "mp3enc/HuffmanBitCount.h"
#include "mp3enc/HuffmanTables.h"
#include "mp3enc/Quantizer.h"
#include "mp3enc/ScalefactorBands.h"

namespace sonotrap::mp3enc {
namespace {

constexpr int kLargestPart23Length = 4095;  // 12 bits
constexpr int kTooManyBits = 100000;
constexpr int kHighestStep = 255 - 210;     // global_gain is 8 bits

// Sum of x^2 and of ln(x^2) over the non-zero lines, with one logarithm: the mantissas
// (each in [1, 2)) are multiplied, the binary exponents added. Four running products and sums
// keep the multiplications independent.
struct SquareSums {
    double squares = 0.0;
    double logs = 0.0;
};

SquareSums SumSquares(const double* x) {
    double product[4] = {1.0, 1.0, 1.0, 1.0};
    double squares[4] = {0.0, 0.0, 0.0, 0.0};
    int64_t exponents = 0;
    double rest = 0.0;  // the rare subnormal lines, one by one
    for (int i = 0; i < 576; i += 4) {
        for (int k = 0; k < 4; ++k) {
            const double v = x[i + k];
            squares[k] += v * v;
            const uint64_t bits = std::bit_cast<uint64_t>(v) & ~(uint64_t{1} << 63);
            const int64_t exponent = static_cast<int64_t>(bits >> 52);
            if (exponent == 0) {
                if (bits != 0) rest += std::log(v * v);
                continue;
            }
            exponents += exponent - 1023;
            product[k] *= std::bit_cast<double>((bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1023} << 52));
        }
    }
    // Each product has at most 144 factors below 2: no overflow.
    const double logProduct = std::log(product[0]) + std::log(product[1]) + std::log(product[2]) + std::log(product[3]);
    SquareSums sums;
    sums.squares = (squares[0] + squares[1]) + (squares[2] + squares[3]);
    sums.logs = 2.0 * (logProduct + static_cast<double>(exponents) * std::numbers::ln2) + rest;
    return sums;
}

}  // namespace

int StartStep(const double* x) {
    const SquareSums sums = SumSquares(x);
    const double squares = sums.squares;
    const double logs = sums.logs;
    int n = 0;
    if (squares != 0.0) {
        const double a = logs / 576.0;
        const double f = a - std::log(squares / 576.0);  // ln(e^a / mean square), without underflow
        // A flat spectrum has f = 0; f > 0 only comes from the zero lines in the average and
        // would start the search above the step the granule needs (quiet sounds after
        // digital silence vanished and global_gain overflowed).
        n = static_cast<int>(std::round(std::clamp(8.0 * f, -100.0, 0.0)));
    }
    return n - 70;
}

int GlobalGain(double step) { return std::clamp(static_cast<int>(step + 210.0), 0, 255); }

void PlaceStuffing(const int* q, GranuleInfo& g, int leftoverBits) {
    int stuffing = std::min(leftoverBits, kLargestPart23Length - g.part23Length);
    if (stuffing <= 0) return;
    if (g.count1TableSelect == 1 && stuffing % 4 != 0) {
        const int start = g.bigValuesEnd;
        const int extra = Count1Bits(q, start, g.count1, kCount1TableA) -
                          Count1Bits(q, start, g.count1, kCount1TableB);
        if (extra <= stuffing) {
            g.count1TableSelect = 0;  // the extra code bits come out of the stuffing
        } else {
            stuffing -= stuffing % 4;
        }
    }
    g.part23Length += stuffing;
}

void RateControl::Initialise(int bandRow, int channels) {
    bands_ = kLongBandBoundaries[bandRow];
    channels_ = channels;
    leftoverBits_ = 0;
}

void RateControl::QuantiseFrame(const double (*spectrum)[2][576], QuantisedFrame& q, SideInfo& side,
                                int meanBitsPerGranule) {
    const int limit = std::clamp(meanBitsPerGranule / channels_, 0, kLargestPart23Length);
    leftoverBits_ = 0;
    for (int gr = 0; gr < 2; ++gr) {
        for (int ch = 0; ch < channels_; ++ch) {
            QuantiseGranule(spectrum[gr][ch], q[gr][ch], side.granules[gr][ch], limit);
        }
    }
    PlaceStuffing(q[0][0], side.granules[0][0], leftoverBits_);
    leftoverBits_ = 0;
}

void RateControl::QuantiseGranule(const double* x, int* q, GranuleInfo& g, int limit) {
    g = GranuleInfo{};
    PoweredLines& lines = powered_;
    lines.From(x);

    auto bitsAt = [&](int step) {
        // Too coarse or too fine is known from the largest line alone.
        const int largest = LargestMagnitudeAt(lines, step);
        if (largest >= 8193) return kTooManyBits;
        if (largest == 0) return 0;  // all lines zero; the fitting pass fills q and g
        QuantiseLines(lines, step, q);
        return CountGranuleBits(q, bands_, g, limit);
    };

    // Binary search for the step whose bits come nearest the limit.
    const int start = StartStep(x);
    int lo = start;
    int hi = 200;
    int previous = start;
    int mid = start;
    for (;;) {
        mid = (lo + hi) >> 1;
        const int bits = bitsAt(mid);
        if (bits == limit) break;
        if (bits < limit) {
            hi = mid;
        } else {
            lo = mid;
        }
        if (std::abs(previous - mid) <= 1) break;
        previous = mid;
    }

    // Then one step at a time upwards until the granule fits.
    int step = std::min(mid, kHighestStep - 1);
    int bits = 0;
    for (;;) {
        ++step;
        if (LargestMagnitudeAt(lines, step) > kLargestCodableMagnitude - 1 && step < kHighestStep) continue;
        QuantiseLines(lines, step, q);
        bits = CountGranuleBits(q, bands_, g, limit);
        if (bits <= limit || step >= kHighestStep) break;
    }
    g.part23Length = bits;
    g.quantiserStep = step;
    g.globalGain = GlobalGain(step);
    leftoverBits_ += limit - bits;
}

}  // namespace sonotrap::mp3enc
