#include "mp3enc/RateControl.h"

#include <algorithm>
#include <cmath>

#include "mp3enc/HuffmanBitCount.h"
#include "mp3enc/HuffmanTables.h"
#include "mp3enc/Quantizer.h"
#include "mp3enc/ScalefactorBands.h"

namespace sonotrap::mp3enc {
namespace {

constexpr int kLargestPart23Length = 4095;  // 12 bits
constexpr int kTooManyBits = 100000;
constexpr int kHighestStep = 255 - 210;     // global_gain is 8 bits

}  // namespace

int StartStep(const double* x) {
    double squares = 0.0;
    double logs = 0.0;
    for (int i = 0; i < 576; ++i) {
        if (x[i] != 0.0) {
            const double s = x[i] * x[i];
            squares += s;
            logs += std::log(s);
        }
    }
    int n = 0;
    if (squares != 0.0) {
        const double a = logs / 576.0;
        const double f = std::log(std::exp(a) / (squares / 576.0));
        n = static_cast<int>(std::round(8.0 * f));
        // A flat spectrum has f = 0; f > 0 only comes from the zero lines in the average and
        // would start the search above the step the granule needs (quiet sounds after
        // digital silence vanished and global_gain overflowed).
        n = std::clamp(n, -100, 0);
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
    double powered[576];
    for (int i = 0; i < 576; ++i) {
        const double a = std::fabs(x[i]);
        powered[i] = std::sqrt(a * std::sqrt(a));  // a^0.75
    }

    auto bitsAt = [&](int step) {
        const int largest = QuantiseLines(powered, step, q);
        return largest < 8193 ? CountGranuleBits(q, bands_, g) : kTooManyBits;
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
        const int largest = QuantiseLines(powered, step, q);
        if (largest > kLargestCodableMagnitude - 1 && step < kHighestStep) continue;
        bits = CountGranuleBits(q, bands_, g);
        if (bits <= limit || step >= kHighestStep) break;
    }
    g.part23Length = bits;
    g.quantiserStep = step;
    g.globalGain = GlobalGain(step);
    leftoverBits_ += limit - bits;
}

}  // namespace sonotrap::mp3enc
