#include "mp3enc/AnalysisFilterbank.h"

#include <cmath>
#include <cstring>

namespace sonotrap::mp3enc {
namespace {

// Matrixing coefficients cos((2k+1)(16-i)pi/64), rounded to nine decimals as the encoder
// has always used them.
struct MatrixTable {
    double m[32][64];
    MatrixTable() {
        for (int k = 0; k < 32; ++k) {
            for (int i = 0; i < 64; ++i) {
                const double c = std::cos((2 * k + 1) * (16 - i) * M_PI / 64.0);
                m[k][i] = std::round(c * 1e9) / 1e9;  // std::round rounds half away from zero
            }
        }
    }
};

const MatrixTable& Matrix() {
    static const MatrixTable table;
    return table;
}

}  // namespace

AnalysisFilterbank::AnalysisFilterbank() { Reset(); }

void AnalysisFilterbank::Reset() {
    std::memset(history_, 0, sizeof history_);
    offset_ = 0;
}

void AnalysisFilterbank::AnalyseGranule(const int16_t* samples, int stride, GranuleSubbands& out) {
    constexpr double kScale = 1.0 / 32768.0;
    for (int t = 0; t < 18; ++t) {
        // Newest sample at the offset, older ones above it.
        for (int j = 0; j < 32; ++j) {
            history_[(offset_ + 31 - j) & 511] = samples[(32 * t + j) * stride] * kScale;
        }
        FilterSlot(out[t]);
    }
}

void AnalysisFilterbank::FilterSlot(double out[32]) {
    double y[64] = {};
    // Windowing folded into the partial sums: Y[i] = sum_j history[offset + i + 64j] * C[i + 64j].
    for (int j = 0; j < 8; ++j) {
        const double* c = kAnalysisWindow + 64 * j;
        const int base = offset_ + 64 * j;
        for (int i = 0; i < 64; ++i) y[i] += history_[(base + i) & 511] * c[i];
    }
    offset_ = (offset_ - 32) & 511;
    const MatrixTable& mt = Matrix();
    for (int k = 0; k < 32; ++k) {
        double s = 0.0;
        for (int i = 0; i < 64; ++i) s += mt.m[k][i] * y[i];
        out[k] = s;
    }
}

}  // namespace sonotrap::mp3enc
