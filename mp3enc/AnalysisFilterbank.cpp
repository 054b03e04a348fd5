#include "mp3enc/AnalysisFilterbank.h"

#include <cmath>
#include <numbers>
#include <cstring>

namespace sonotrap::mp3enc {
namespace {

// The matrixing S[k] = sum_i cos((2k+1)(16-i)pi/64) Y[i] folds (the cosine is symmetric about
// i = 16 and antisymmetric about i = 48) into a 32-point DCT-III,
// S[k] = sum_j b[j] cos((2k+1) j pi/64), computed by even/odd splitting:
// y[n] = E[n] + O[n] / (2 cos((2n+1)pi/2N)), y[N-1-n] = E[n] - (the same), where E is the
// half-size transform of the even inputs and O that of X[2m+1] + X[2m-1].
struct DctFactors {
    double inverseTwoCos[31];  // level N at offset N/2 - 1, entries n = 0..N/2-1
    DctFactors() {
        for (int n2 = 1; n2 <= 16; n2 *= 2) {
            for (int n = 0; n < n2; ++n) inverseTwoCos[n2 - 1 + n] = 0.5 / std::cos((2 * n + 1) * std::numbers::pi / (4.0 * n2));
        }
    }
};

const DctFactors& Factors() {
    static const DctFactors factors;
    return factors;
}

template <int N>
void Dct3(const double* in, double* out, const DctFactors& factors) {
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        constexpr int kHalf = N / 2;
        double even[kHalf], odd[kHalf], e[kHalf], o[kHalf];
        for (int m = 0; m < kHalf; ++m) {
            even[m] = in[2 * m];
            odd[m] = in[2 * m + 1] + (m > 0 ? in[2 * m - 1] : 0.0);
        }
        Dct3<kHalf>(even, e, factors);
        Dct3<kHalf>(odd, o, factors);
        const double* factor = factors.inverseTwoCos + kHalf - 1;
        for (int n = 0; n < kHalf; ++n) {
            const double t = o[n] * factor[n];
            out[n] = e[n] + t;
            out[N - 1 - n] = e[n] - t;
        }
    }
}

}  // namespace

AnalysisFilterbank::AnalysisFilterbank() { Reset(); }

void AnalysisFilterbank::Reset() {
    std::memset(history_, 0, sizeof history_);
    offset_ = 0;
}

void AnalysisFilterbank::AnalyseGranule(const int16_t* samples, GranuleSubbands& out) {
    constexpr double kScale = 1.0 / 32768.0;
    for (int t = 0; t < 18; ++t) {
        // Newest sample at the offset, older ones above it.
        for (int j = 0; j < 32; ++j) {
            const int at = (offset_ + 31 - j) & 511;
            history_[at] = history_[at + 512] = samples[32 * t + j] * kScale;
        }
        FilterSlot(out[t]);
    }
}

void AnalysisFilterbank::FilterSlot(double out[32]) {
    // Windowing folded into the partial sums: Y[i] = sum_j history[offset + i + 64j] * C[i + 64j].
    const double* h = history_ + offset_;
    const double* c = kAnalysisWindow;
    double y[64];
    for (int i = 0; i < 64; ++i) {
        y[i] = h[i] * c[i] + h[i + 64] * c[i + 64] + h[i + 128] * c[i + 128] + h[i + 192] * c[i + 192] +
               h[i + 256] * c[i + 256] + h[i + 320] * c[i + 320] + h[i + 384] * c[i + 384] + h[i + 448] * c[i + 448];
    }
    offset_ = (offset_ - 32) & 511;

    double b[32];
    b[0] = y[16];
    for (int j = 1; j <= 16; ++j) b[j] = y[16 - j] + y[16 + j];
    for (int j = 17; j < 32; ++j) b[j] = y[16 + j] - y[80 - j];
    Dct3<32>(b, out, Factors());
}

}  // namespace sonotrap::mp3enc
