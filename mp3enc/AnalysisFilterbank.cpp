#include "mp3enc/AnalysisFilterbank.h"

#include <cmath>
#include <cstring>

namespace sonotrap::mp3enc {
namespace {

// Matrixing coefficients M[k][i] = cos((2k+1)(16-i)pi/64), rounded to nine decimals as the
// encoder has always used them. M is symmetric about i = 16 and antisymmetric about i = 48
// (M[k][48] = 0), so the 64 partial sums fold into 32 before a 32 x 32 product. The folded
// matrix is stored transposed so the product runs along k.
struct MatrixTable {
    double folded[32][32];  // [n][k]
    MatrixTable() {
        double m[32][64];
        for (int k = 0; k < 32; ++k) {
            for (int i = 0; i < 64; ++i) {
                const double c = std::cos((2 * k + 1) * (16 - i) * M_PI / 64.0);
                m[k][i] = std::round(c * 1e9) / 1e9;  // std::round rounds half away from zero
            }
        }
        for (int k = 0; k < 32; ++k) {
            for (int n = 0; n < 32; ++n) folded[n][k] = m[k][FoldedColumn(n)];
        }
    }
    // Column of M that folded term n stands for: 16, then 15..0, then 47..33.
    static int FoldedColumn(int n) { return n == 0 ? 16 : (n <= 16 ? 16 - n : 48 - (n - 16)); }
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
            const int at = (offset_ + 31 - j) & 511;
            history_[at] = history_[at + 512] = samples[(32 * t + j) * stride] * kScale;
        }
        FilterSlot(out[t]);
    }
}

void AnalysisFilterbank::FilterSlot(double out[32]) {
    // Windowing folded into the partial sums: Y[i] = sum_j history[offset + i + 64j] * C[i + 64j].
    double y[64] = {};
    for (int j = 0; j < 8; ++j) {
        const double* c = kAnalysisWindow + 64 * j;
        const double* h = history_ + offset_ + 64 * j;
        for (int i = 0; i < 64; ++i) y[i] += h[i] * c[i];
    }
    offset_ = (offset_ - 32) & 511;

    double a[32];
    a[0] = y[16];
    for (int d = 1; d <= 16; ++d) a[d] = y[16 - d] + y[16 + d];
    for (int d = 1; d <= 15; ++d) a[16 + d] = y[48 - d] - y[48 + d];

    const MatrixTable& mt = Matrix();
    double s[32] = {};
    for (int n = 0; n < 32; ++n) {
        const double* row = mt.folded[n];
        for (int k = 0; k < 32; ++k) s[k] += row[k] * a[n];
    }
    std::memcpy(out, s, sizeof s);
}

}  // namespace sonotrap::mp3enc
