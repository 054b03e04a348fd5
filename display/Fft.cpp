#include "display/Fft.h"

#include <cmath>

namespace sonotrap {

// Layout: the complex FFT runs in place on interleaved (re, im) pairs. After the first stage
// has read the packed input in bit-reversed order, blocks of 4^s points hold finished
// sub-transforms, ordered so that a block group of four holds the residues 0, 2, 1, 3.

namespace {

constexpr double kPi = 3.14159265358979323846;

uint32_t ReverseBits(uint32_t value, int bits) {
    uint32_t reversed = 0;
    for (int b = 0; b < bits; ++b) {
        reversed = (reversed << 1) | (value & 1u);
        value >>= 1;
    }
    return reversed;
}

void PushTwiddle(std::vector<double>& table, size_t k, size_t n) {
    const double angle = -2.0 * kPi * static_cast<double>(k) / static_cast<double>(n);
    table.push_back(std::cos(angle));
    table.push_back(std::sin(angle));
}

// From Z[k], Z[M-k] of the half-size transform and w = e^(-2 pi i k / N): X[k] into (zk),
// X[M-k] into (zm).
inline void SplitPair(double* zk, double* zm, double wr, double wi) {
    const double er = 0.5 * (zk[0] + zm[0]), ei = 0.5 * (zk[1] - zm[1]);
    const double orr = 0.5 * (zk[1] + zm[1]), oi = -0.5 * (zk[0] - zm[0]);
    const double pr = wr * orr - wi * oi, pi = wr * oi + wi * orr;
    zk[0] = er + pr;
    zk[1] = ei + pi;
    zm[0] = er - pr;
    zm[1] = pi - ei;
}

struct PackedReals {
    const double* in;
    double operator()(size_t i) const { return in[i]; }
};

struct WindowedSamples {
    const int16_t* samples;
    const double* window;
    double operator()(size_t i) const { return samples[i] * window[i]; }
};

}  // namespace

RealFft::RealFft(int log2Size)
    : size_(size_t{1} << log2Size), half_(size_ / 2), oddStages_((log2Size - 1) % 2 == 1) {
    const int halfBits = log2Size - 1;
    for (uint32_t q = 0; q < half_ / 4; ++q) firstIndex_.push_back(ReverseBits(4 * q, halfBits));
    for (size_t sub = 4; 4 * sub <= half_; sub *= 4) {
        for (size_t k = 0; k < sub; ++k) {
            PushTwiddle(radix4Twiddles_, k, 4 * sub);
            PushTwiddle(radix4Twiddles_, 2 * k, 4 * sub);
            PushTwiddle(radix4Twiddles_, 3 * k, 4 * sub);
        }
    }
    for (size_t k = 0; k < half_ / 2; ++k) PushTwiddle(radix2Twiddles_, k, half_);
    for (size_t k = 0; k <= half_ / 2; ++k) PushTwiddle(splitTwiddles_, k, size_);
}

void RealFft::Forward(const double* in, double* out) const { Transform(PackedReals{in}, out); }

void RealFft::ForwardWindowed(const int16_t* samples, const double* window, double* out) const {
    Transform(WindowedSamples{samples, window}, out);
}

template <typename Input>
void RealFft::Transform(const Input& input, double* out) const {
    LoadFirstStage(input, out);
    Radix4Stages(out);
    if (oddStages_)
        FinalRadix2AndSplit(out);
    else
        Split(out);
}

// Reads packed values z[n] = x[2n] + i x[2n+1] in bit-reversed order and does the first
// 4-point butterflies (all twiddles 1) on the way.
template <typename Input>
void RealFft::LoadFirstStage(const Input& x, double* z) const {
    const size_t quarter = half_ / 4;
    for (size_t q = 0; q < quarter; ++q) {
        const size_t n0 = firstIndex_[q], n1 = n0 + quarter, n2 = n0 + 2 * quarter, n3 = n0 + 3 * quarter;
        const double d0r = x(2 * n0), d0i = x(2 * n0 + 1);
        const double d1r = x(2 * n1), d1i = x(2 * n1 + 1);
        const double d2r = x(2 * n2), d2i = x(2 * n2 + 1);
        const double d3r = x(2 * n3), d3i = x(2 * n3 + 1);
        const double a0r = d0r + d2r, a0i = d0i + d2i, a1r = d0r - d2r, a1i = d0i - d2i;
        const double a2r = d1r + d3r, a2i = d1i + d3i, a3r = d1r - d3r, a3i = d1i - d3i;
        double* y = z + 8 * q;
        y[0] = a0r + a2r;
        y[1] = a0i + a2i;
        y[2] = a1r + a3i;
        y[3] = a1i - a3r;
        y[4] = a0r - a2r;
        y[5] = a0i - a2i;
        y[6] = a1r - a3i;
        y[7] = a1i + a3r;
    }
}

// Combines groups of four sub-transforms of length sub into one of length 4 sub, the inputs
// at k, k + sub, k + 2 sub, k + 3 sub holding residues 0, 2, 1, 3.
void RealFft::Radix4Stages(double* z) const {
    const double* twiddles = radix4Twiddles_.data();
    for (size_t sub = 4; 4 * sub <= half_; sub *= 4) {
        for (size_t base = 0; base < half_; base += 4 * sub) {
            double* p0 = z + 2 * base;
            double* p2 = p0 + 2 * sub;
            double* p1 = p2 + 2 * sub;
            double* p3 = p1 + 2 * sub;
            const double* w = twiddles;
            for (size_t k = 0; k < sub; ++k, w += 6) {
                const size_t i = 2 * k;
                const double d1r = p1[i], d1i = p1[i + 1];
                const double d2r = p2[i], d2i = p2[i + 1];
                const double d3r = p3[i], d3i = p3[i + 1];
                const double t1r = w[0] * d1r - w[1] * d1i, t1i = w[0] * d1i + w[1] * d1r;
                const double t2r = w[2] * d2r - w[3] * d2i, t2i = w[2] * d2i + w[3] * d2r;
                const double t3r = w[4] * d3r - w[5] * d3i, t3i = w[4] * d3i + w[5] * d3r;
                const double a0r = p0[i] + t2r, a0i = p0[i + 1] + t2i;
                const double a1r = p0[i] - t2r, a1i = p0[i + 1] - t2i;
                const double a2r = t1r + t3r, a2i = t1i + t3i;
                const double a3r = t1r - t3r, a3i = t1i - t3i;
                p0[i] = a0r + a2r;
                p0[i + 1] = a0i + a2i;
                p2[i] = a1r + a3i;
                p2[i + 1] = a1i - a3r;
                p1[i] = a0r - a2r;
                p1[i + 1] = a0i - a2i;
                p3[i] = a1r - a3i;
                p3[i + 1] = a1i + a3r;
            }
        }
        twiddles += 6 * sub;
    }
}

// The last radix-2 stage of the complex transform fused with the split: indices k and
// M/2 - k of both halves give Z at k, M/2 + k, M/2 - k and M - k, which are exactly the two
// pairs the split needs, so everything stays in place.
void RealFft::FinalRadix2AndSplit(double* z) const {
    const size_t h = half_ / 2;  // length of each half
    const double* w2 = radix2Twiddles_.data();
    const double* ws = splitTwiddles_.data();
    auto butterfly = [&](size_t k, double* zLow, double* zHigh) {
        double* a = z + 2 * k;
        double* b = z + 2 * (k + h);
        const double tr = w2[2 * k] * b[0] - w2[2 * k + 1] * b[1];
        const double ti = w2[2 * k] * b[1] + w2[2 * k + 1] * b[0];
        zLow[0] = a[0] + tr;
        zLow[1] = a[1] + ti;
        zHigh[0] = a[0] - tr;
        zHigh[1] = a[1] - ti;
    };
    for (size_t k = 1; k < h / 2; ++k) {
        const size_t j = h - k;
        double zk[2], zkh[2], zj[2], zjh[2];  // Z[k], Z[k + h], Z[h - k], Z[M - k]
        butterfly(k, zk, zkh);
        butterfly(j, zj, zjh);
        SplitPair(zk, zjh, ws[2 * k], ws[2 * k + 1]);
        SplitPair(zj, zkh, ws[2 * j], ws[2 * j + 1]);
        z[2 * k] = zk[0], z[2 * k + 1] = zk[1];
        z[2 * (half_ - k)] = zjh[0], z[2 * (half_ - k) + 1] = zjh[1];
        z[2 * j] = zj[0], z[2 * j + 1] = zj[1];
        z[2 * (h + k)] = zkh[0], z[2 * (h + k) + 1] = zkh[1];
    }
    double z0[2], zh[2], zq[2], zq3[2];
    butterfly(0, z0, zh);
    butterfly(h / 2, zq, zq3);
    SplitPair(zq, zq3, ws[h], ws[h + 1]);
    z[h] = zq[0], z[h + 1] = zq[1];
    z[3 * h] = zq3[0], z[3 * h + 1] = zq3[1];
    z[0] = z0[0] + z0[1];
    z[1] = z0[0] - z0[1];
    z[2 * h] = zh[0];
    z[2 * h + 1] = -zh[1];
}

void RealFft::Split(double* z) const {
    const double* ws = splitTwiddles_.data();
    for (size_t k = 1; k < half_ / 2; ++k) SplitPair(z + 2 * k, z + 2 * (half_ - k), ws[2 * k], ws[2 * k + 1]);
    const double r0 = z[0], i0 = z[1];
    z[0] = r0 + i0;
    z[1] = r0 - i0;
    z[half_ + 1] = -z[half_ + 1];  // X[M/2] = conj Z[M/2]
}

}  // namespace sonotrap
