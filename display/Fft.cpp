#include "display/Fft.h"

#include <algorithm>
#include <cmath>

#include "display/FftKernels.h"
#include "display/Vec2.h"

namespace sonotrap {

// Layout: the complex FFT runs in place on separate real and imaginary arrays. The first
// stage reads the packed input z[n] = x[2n] + i x[2n+1] in bit-reversed order; from then on
// blocks of 4^s points hold finished sub-transforms, and a group of four blocks holds the
// residues 0, 2, 1, 3 (that is what bit-reversed order gives a radix-4 step).

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kChunkLimit = 1024;  // 2 x 8 KB per chunk: stays in the first-level cache

// Indices i and i + 1 (the "Down" forms i and i - 1).
struct TwoLanes {
    using T = simd::Vec2;
    static constexpr size_t kWidth = 2;
    static T Get(const double* p, size_t i) { return simd::Load(p + i); }
    static void Put(double* p, size_t i, T v) { simd::Store(p + i, v); }
    static T GetDown(const double* p, size_t i) { return simd::Swap(simd::Load(p + i - 1)); }
    static void PutDown(double* p, size_t i, T v) { simd::Store(p + i - 1, simd::Swap(v)); }
    static T Sqrt(T v) { return simd::Sqrt(v); }
    static void PutFloats(float* p, T v) {
        p[0] = static_cast<float>(v[0]);
        p[1] = static_cast<float>(v[1]);
    }
    static void PutFloatsDown(float* p, T v) { PutFloats(p - 1, simd::Swap(v)); }
};

uint32_t ReverseBits(uint32_t value, int bits) {
    uint32_t reversed = 0;
    for (int b = 0; b < bits; ++b) {
        reversed = (reversed << 1) | (value & 1u);
        value >>= 1;
    }
    return reversed;
}

double TwiddleRe(size_t k, size_t n) { return std::cos(-2.0 * kPi * static_cast<double>(k) / static_cast<double>(n)); }
double TwiddleIm(size_t k, size_t n) { return std::sin(-2.0 * kPi * static_cast<double>(k) / static_cast<double>(n)); }

// The first stage two values at a time: each vector holds one complex value.
template <bool kWindowed>
void FirstStageLoop(const FirstStageInput& in, size_t begin, size_t end, double* re, double* im) {
    using simd::Vec2;
    const Vec2 conjugateSign{1.0, -1.0};
    const auto z = [&](size_t q, size_t j) {
        const size_t n = in.firstIndex[q] + j * in.quarter;
        if constexpr (kWindowed)
            return simd::LoadSamples(in.samples + 2 * n) * simd::Load(in.window + WindowSlot(q, j));
        else
            return simd::Load(in.packed + 2 * n);
    };
    for (size_t q = begin; q < end; ++q) {
        const Vec2 d0 = z(q, 0), d1 = z(q, 1), d2 = z(q, 2), d3 = z(q, 3);
        const Vec2 a0 = d0 + d2, a1 = d0 - d2, a2 = d1 + d3, a3 = d1 - d3;
        const Vec2 minusIa3 = simd::Swap(a3) * conjugateSign;  // -i a3, exact
        const Vec2 y0 = a0 + a2, y1 = a1 + minusIa3, y2 = a0 - a2, y3 = a1 - minusIa3;
        simd::Store(re + 4 * q, simd::Lows(y0, y1));
        simd::Store(re + 4 * q + 2, simd::Lows(y2, y3));
        simd::Store(im + 4 * q, simd::Highs(y0, y1));
        simd::Store(im + 4 * q + 2, simd::Highs(y2, y3));
    }
}

void PortableFirstStage(const FirstStageInput& in, size_t begin, size_t end, double* re, double* im) {
    if (in.packed)
        FirstStageLoop<false>(in, begin, end, re, im);
    else
        FirstStageLoop<true>(in, begin, end, re, im);
}

int ClampedBits(int log2Size) { return std::clamp(log2Size, 3, 24); }

// The tables from page boundaries too: placed wherever the heap put them they cost up to
// 5% more.
template <typename T>
PageAlignedArray<T> PageAligned(const std::vector<T>& values) {
    PageAlignedArray<T> array(values.size());
    std::copy(values.begin(), values.end(), array.data());
    return array;
}

}  // namespace

const FftKernelSet& PortableFftKernels() {
    static constexpr FftKernelSet kernels{&PortableFirstStage, &Radix4StageLoop<TwoLanes>, &FinalPairsLoop<TwoLanes>,
                                          &SplitPairsLoop<TwoLanes>, &MagnitudesLoop<TwoLanes>};
    return kernels;
}

RealFft::RealFft(int log2Size, bool allowWideVectors)
    : size_(size_t{1} << ClampedBits(log2Size)),
      half_(size_ / 2),
      chunk_(4),
      oddStages_((ClampedBits(log2Size) - 1) % 2 == 1),
      kernels_(&PortableFftKernels()) {
    if (allowWideVectors && WideFftKernels()) kernels_ = WideFftKernels();
    const int halfBits = ClampedBits(log2Size) - 1;
    std::vector<uint32_t> firstIndex;
    for (uint32_t q = 0; q < half_ / 4; ++q) firstIndex.push_back(ReverseBits(4 * q, halfBits));
    std::vector<double> radix4;
    for (size_t sub = 4; 4 * sub <= half_; sub *= 4) {
        stages_.push_back({sub, radix4.size()});
        for (size_t residue = 1; residue <= 3; ++residue) {
            for (size_t k = 0; k < sub; ++k) radix4.push_back(TwiddleRe(residue * k, 4 * sub));
            for (size_t k = 0; k < sub; ++k) radix4.push_back(TwiddleIm(residue * k, 4 * sub));
        }
        if (4 * sub <= kChunkLimit) chunk_ = 4 * sub;
    }
    const size_t h = half_ / 2;
    std::vector<double> radix2Re, radix2Im, splitRe, splitIm;
    for (size_t k = 0; k <= h / 2; ++k) {
        radix2Re.push_back(TwiddleRe(k, half_));
        radix2Im.push_back(TwiddleIm(k, half_));
    }
    for (size_t k = 0; k <= h; ++k) {
        splitRe.push_back(TwiddleRe(k, size_));
        splitIm.push_back(TwiddleIm(k, size_));
    }
    firstIndex_ = PageAligned(firstIndex);
    radix4Twiddles_ = PageAligned(radix4);
    radix2Re_ = PageAligned(radix2Re);
    radix2Im_ = PageAligned(radix2Im);
    splitRe_ = PageAligned(splitRe);
    splitIm_ = PageAligned(splitIm);
}

void RealFft::SetWindow(const double* window) {
    // Room for a whole pair of quads even when there is only one.
    loadWindow_ = PageAlignedArray<double>(std::max<size_t>(size_, 16));
    const size_t quarter = half_ / 4;
    for (size_t q = 0; q < quarter; ++q) {
        for (size_t j = 0; j < 4; ++j) {
            const size_t n = firstIndex_[q] + j * quarter;
            loadWindow_[WindowSlot(q, j)] = window[2 * n];
            loadWindow_[WindowSlot(q, j) + 1] = window[2 * n + 1];
        }
    }
}

void RealFft::Forward(const double* in, double* re, double* im) const {
    Transform({in, nullptr, nullptr, firstIndex_.data(), half_ / 4}, re, im, 0.0, nullptr);
}

void RealFft::ForwardWindowed(const int16_t* samples, double* re, double* im) const {
    ForwardWindowed(samples, re, im, 0.0, nullptr);
}

void RealFft::ForwardWindowed(const int16_t* samples, double* re, double* im, double scale, float* out) const {
    if (loadWindow_.empty()) return;
    Transform({nullptr, samples, loadWindow_.data(), firstIndex_.data(), half_ / 4}, re, im, scale, out);
}

void RealFft::Magnitudes(const double* re, const double* im, double scale, float* out) const {
    kernels_->magnitudes(re, im, half_, scale, out);
}

void RealFft::Transform(const FirstStageInput& input, double* re, double* im, double scale, float* out) const {
    // The stages that fit a chunk run chunk by chunk, the rest over the whole array.
    size_t stage = 0;
    while (stage < stages_.size() && 4 * stages_[stage].sub <= chunk_) ++stage;
    const double* twiddles = radix4Twiddles_.data();
    for (size_t begin = 0; begin < half_; begin += chunk_) {
        kernels_->firstStage(input, begin / 4, (begin + chunk_) / 4, re, im);
        for (size_t s = 0; s < stage; ++s)
            kernels_->radix4Stage(re, im, begin, begin + chunk_, stages_[s].sub, twiddles + stages_[s].twiddles);
    }
    for (size_t s = stage; s < stages_.size(); ++s)
        kernels_->radix4Stage(re, im, 0, half_, stages_[s].sub, twiddles + stages_[s].twiddles);
    if (oddStages_) {
        FinalRadix2AndSplit(re, im, scale, out);
    } else {
        Split(re, im);
        if (out) Magnitudes(re, im, scale, out);
    }
}

namespace {

// X[0] and X[M] from Z[0], packed into the first slots.
void SplitZero(double* re, double* im) {
    const double r0 = re[0], i0 = im[0];
    re[0] = r0 + i0;
    im[0] = r0 - i0;
}

}  // namespace

void RealFft::FinalRadix2AndSplit(double* re, double* im, double scale, float* out) const {
    const size_t h = half_ / 2;
    // k = 0: Z[0] = A + B and Z[h] = A - B; X[h] = conj Z[h].
    const double ar = re[0], ai = im[0], br = re[h], bi = im[h];
    re[0] = ar + br, im[0] = ai + bi;
    re[h] = ar - br, im[h] = -(ai - bi);
    SplitZero(re, im);
    kernels_->finalPairs(re, im, 1, h / 2, h, radix2Re_.data(), radix2Im_.data(), splitRe_.data(), splitIm_.data(),
                         scale, out);
    // k = h / 2 pairs with itself: Z[h/2] and Z[3h/2] are the split pair (h/2, M - h/2).
    const size_t q = h / 2;
    const Cx<double> a{re[q], im[q]}, t = Mul(Cx<double>{re[h + q], im[h + q]}, radix2Re_[q], radix2Im_[q]);
    Cx<double> xq, xm;
    SplitPair(a + t, a - t, splitRe_[q], splitIm_[q], &xq, &xm);
    re[q] = xq.r, im[q] = xq.i;
    re[h + q] = xm.r, im[h + q] = xm.i;
    if (out) {
        for (const size_t i : {size_t{0}, h, q, h + q}) OneLane::PutFloats(out + i, Magnitude<OneLane>({re[i], im[i]}, scale));
    }
}

void RealFft::Split(double* re, double* im) const {
    const size_t h = half_ / 2;
    SplitZero(re, im);
    im[h] = -im[h];  // X[h] = conj Z[h]
    kernels_->splitPairs(re, im, 1, h, half_, splitRe_.data(), splitIm_.data());
}

}  // namespace sonotrap
