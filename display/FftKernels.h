#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>

// The FFT's inner loops, written once over a lane type L that handles L::kWidth adjacent
// indices at a time (L::T is double or a small vector). Each translation unit that includes
// this header gets its own copies (unnamed namespace), so one unit may compile them for a
// wider instruction set than the rest without the two ever being mixed up at link time.
// All arithmetic is plain IEEE double per lane: every lane type gives identical results.
namespace sonotrap {

// What the first stage reads: the packed input z[n] = x[2n] + i x[2n+1] (packed), or
// windowed samples (samples[m] * the window; window in reading order, see WindowSlot), in
// bit-reversed order: quad q reads n = firstIndex[q] + j * quarter for j = 0 .. 3.
struct FirstStageInput {
    const double* packed;
    const int16_t* samples;
    const double* window;
    const uint32_t* firstIndex;
    size_t quarter;
};

// Where the window values of quad q, value j (two doubles) sit in reading order: quads in
// pairs, so that a pair's values j lie side by side.
constexpr size_t WindowSlot(size_t q, size_t j) { return 16 * (q / 2) + 4 * j + 2 * (q % 2); }

// The loops of one instruction set, as the transform calls them.
struct FftKernelSet {
    // The first stage (bit-reversed reading and 4-point butterflies) for quads [begin, end).
    void (*firstStage)(const FirstStageInput& input, size_t begin, size_t end, double* re, double* im);
    // Radix-4 steps of sub-length sub over [begin, end) (see Fft.cpp for the layout).
    void (*radix4Stage)(double* re, double* im, size_t begin, size_t end, size_t sub, const double* twiddles);
    // The fused last radix-2 step and split for k in [kBegin, kEnd), h = M / 2; with out, the
    // magnitudes of the four results (as magnitudes below) instead of the results themselves.
    void (*finalPairs)(double* re, double* im, size_t kBegin, size_t kEnd, size_t h, const double* w2r,
                       const double* w2i, const double* wsr, const double* wsi, double scale, float* out);
    // The split alone for k in [kBegin, kEnd) of an M-point result.
    void (*splitPairs)(double* re, double* im, size_t kBegin, size_t kEnd, size_t m, const double* wsr,
                       const double* wsi);
    // out[k] = |(re[k], im[k])| * scale as float, for k in [0, count).
    void (*magnitudes)(const double* re, const double* im, size_t count, double scale, float* out);
};

const FftKernelSet& PortableFftKernels();
// The set for the widest vectors this processor runs, or nullptr when that is the portable one.
const FftKernelSet* WideFftKernels();

namespace {  // NOLINT: deliberately one copy per translation unit, see above

// The loops' bodies are inlined whatever the compiler's size estimate says: a call per
// vector of four bins, with its arguments in vector registers, costs as much as the work.
#if defined(__GNUC__) || defined(__clang__)
#define SONOTRAP_FFT_INLINE inline __attribute__((always_inline))
#else
#define SONOTRAP_FFT_INLINE inline
#endif

template <typename T>
struct Cx {
    T r, i;
};
template <typename T>
inline Cx<T> operator+(Cx<T> a, Cx<T> b) { return {a.r + b.r, a.i + b.i}; }
template <typename T>
inline Cx<T> operator-(Cx<T> a, Cx<T> b) { return {a.r - b.r, a.i - b.i}; }
template <typename T>
inline Cx<T> Mul(Cx<T> a, T wr, T wi) { return {wr * a.r - wi * a.i, wr * a.i + wi * a.r}; }

// One index at a time; also the tail of every vector loop.
struct OneLane {
    using T = double;
    static constexpr size_t kWidth = 1;
    static T Get(const double* p, size_t i) { return p[i]; }
    static void Put(double* p, size_t i, T v) { p[i] = v; }
    static T GetDown(const double* p, size_t i) { return p[i]; }
    static void PutDown(double* p, size_t i, T v) { p[i] = v; }
    static T Sqrt(T v) { return std::sqrt(v); }
    static void PutFloats(float* p, T v) { *p = static_cast<float>(v); }
    static void PutFloatsDown(float* p, T v) { *p = static_cast<float>(v); }
};

template <typename L>
inline Cx<typename L::T> GetCx(const double* re, const double* im, size_t i) { return {L::Get(re, i), L::Get(im, i)}; }
template <typename L>
inline void PutCx(double* re, double* im, size_t i, Cx<typename L::T> v) {
    L::Put(re, i, v.r);
    L::Put(im, i, v.i);
}
// The "Down" forms address i, i - 1, ...: the mirrored side of a split.
template <typename L>
inline Cx<typename L::T> GetCxDown(const double* re, const double* im, size_t i) {
    return {L::GetDown(re, i), L::GetDown(im, i)};
}
template <typename L>
inline void PutCxDown(double* re, double* im, size_t i, Cx<typename L::T> v) {
    L::PutDown(re, i, v.r);
    L::PutDown(im, i, v.i);
}

// From Z[k] and Z[M-k] of the half-size transform and w = e^(-2 pi i k / N):
// X[k] = E + w O and X[M-k] = conj(E - w O), E and O the transforms of the even and odd values.
template <typename T>
SONOTRAP_FFT_INLINE void SplitPair(Cx<T> zk, Cx<T> zm, T wr, T wi, Cx<T>* xk, Cx<T>* xm) {
    const T er = 0.5 * (zk.r + zm.r), ei = 0.5 * (zk.i - zm.i);
    const T orr = 0.5 * (zk.i + zm.i), oi = -0.5 * (zk.r - zm.r);
    const T pr = wr * orr - wi * oi, pi = wr * oi + wi * orr;
    *xk = {er + pr, ei + pi};
    *xm = {er - pr, pi - ei};
}

// w^k, w^2k, w^3k at k as (re, im): the tables hold each as sub re values, then sub im values.
template <typename L>
struct Radix4Twiddles {
    typename L::T w1r, w1i, w2r, w2i, w3r, w3i;
    SONOTRAP_FFT_INLINE static Radix4Twiddles At(const double* w, size_t k, size_t sub) {
        return {L::Get(w, k),           L::Get(w + sub, k),     L::Get(w + 2 * sub, k),
                L::Get(w + 3 * sub, k), L::Get(w + 4 * sub, k), L::Get(w + 5 * sub, k)};
    }
};

// Four sub-transforms at k, in blocks holding residues 0, 2, 1, 3, into one of four times the
// length.
template <typename L>
SONOTRAP_FFT_INLINE void Radix4Butterfly(double* const r[4], double* const i[4], size_t k, const Radix4Twiddles<L>& w) {
    using T = typename L::T;
    const Cx<T> d0 = GetCx<L>(r[0], i[0], k);
    const Cx<T> t2 = Mul(GetCx<L>(r[1], i[1], k), w.w2r, w.w2i);
    const Cx<T> t1 = Mul(GetCx<L>(r[2], i[2], k), w.w1r, w.w1i);
    const Cx<T> t3 = Mul(GetCx<L>(r[3], i[3], k), w.w3r, w.w3i);
    const Cx<T> a0 = d0 + t2, a1 = d0 - t2, a2 = t1 + t3, a3 = t1 - t3;
    PutCx<L>(r[0], i[0], k, a0 + a2);
    PutCx<L>(r[2], i[2], k, a0 - a2);
    PutCx<L>(r[1], i[1], k, {a1.r + a3.i, a1.i - a3.r});  // a1 - i a3
    PutCx<L>(r[3], i[3], k, {a1.r - a3.i, a1.i + a3.r});  // a1 + i a3
}

template <typename L>
void Radix4StageLoop(double* re, double* im, size_t begin, size_t end, size_t sub, const double* w) {
    if (sub == L::kWidth) {
        // One vector per block (the first stage of the wide loops): the twiddles are loaded
        // once, and there is no inner loop to run.
        const Radix4Twiddles<L> tw = Radix4Twiddles<L>::At(w, 0, sub);
        for (size_t base = begin; base < end; base += 4 * sub) {
            double* const r[4] = {re + base, re + base + sub, re + base + 2 * sub, re + base + 3 * sub};
            double* const i[4] = {im + base, im + base + sub, im + base + 2 * sub, im + base + 3 * sub};
            Radix4Butterfly<L>(r, i, 0, tw);
        }
        return;
    }
    for (size_t base = begin; base < end; base += 4 * sub) {
        double* const r[4] = {re + base, re + base + sub, re + base + 2 * sub, re + base + 3 * sub};
        double* const i[4] = {im + base, im + base + sub, im + base + 2 * sub, im + base + 3 * sub};
        size_t k = 0;
        for (; k + L::kWidth <= sub; k += L::kWidth) Radix4Butterfly<L>(r, i, k, Radix4Twiddles<L>::At(w, k, sub));
        for (; k < sub; ++k) Radix4Butterfly<OneLane>(r, i, k, Radix4Twiddles<OneLane>::At(w, k, sub));
    }
}

// The last radix-2 step of an odd-sized complex FFT fused with the split. For k and j = h - k,
// the butterflies give Z at k, h + k, j and h + j = M - k: exactly the two pairs (k, M - k)
// and (j, M - j) the split needs, so everything stays in place. The twiddles of j follow from
// those of k: e^(-2 pi i j / M) = -conj(w2), e^(-2 pi i j / N) = (-Im ws, -Re ws).
// |x| * scale: one formula wherever a magnitude is taken, so fused and separate passes agree.
template <typename L>
SONOTRAP_FFT_INLINE typename L::T Magnitude(Cx<typename L::T> x, double scale) {
    return scale * L::Sqrt(x.r * x.r + x.i * x.i);
}

template <typename L, bool kMagnitudes>
SONOTRAP_FFT_INLINE void FinalPair(double* re, double* im, size_t k, size_t h, typename L::T w2r, typename L::T w2i,
                      typename L::T wsr, typename L::T wsi, double scale, float* out) {
    using T = typename L::T;
    const size_t j = h - k;
    const Cx<T> a = GetCx<L>(re, im, k), t = Mul(GetCx<L>(re, im, h + k), w2r, w2i);
    const Cx<T> aj = GetCxDown<L>(re, im, j), tj = Mul(GetCxDown<L>(re, im, h + j), T(-w2r), w2i);
    const Cx<T> zk = a + t, zkh = a - t, zj = aj + tj, zjh = aj - tj;
    Cx<T> xk, xmk, xj, xmj;
    SplitPair(zk, zjh, wsr, wsi, &xk, &xmk);
    SplitPair(zj, zkh, T(-wsi), T(-wsr), &xj, &xmj);
    if constexpr (kMagnitudes) {
        L::PutFloats(out + k, Magnitude<L>(xk, scale));
        L::PutFloatsDown(out + h + j, Magnitude<L>(xmk, scale));
        L::PutFloatsDown(out + j, Magnitude<L>(xj, scale));
        L::PutFloats(out + h + k, Magnitude<L>(xmj, scale));
    } else {
        PutCx<L>(re, im, k, xk);
        PutCxDown<L>(re, im, h + j, xmk);
        PutCxDown<L>(re, im, j, xj);
        PutCx<L>(re, im, h + k, xmj);
    }
}

template <typename L, bool kMagnitudes>
void FinalPairsRun(double* re, double* im, size_t k, size_t end, size_t h, const double* w2r, const double* w2i,
                   const double* wsr, const double* wsi, double scale, float* out) {
    for (; k + L::kWidth <= end; k += L::kWidth)
        FinalPair<L, kMagnitudes>(re, im, k, h, L::Get(w2r, k), L::Get(w2i, k), L::Get(wsr, k), L::Get(wsi, k), scale,
                                  out);
    for (; k < end; ++k) FinalPair<OneLane, kMagnitudes>(re, im, k, h, w2r[k], w2i[k], wsr[k], wsi[k], scale, out);
}

template <typename L>
void FinalPairsLoop(double* re, double* im, size_t k, size_t end, size_t h, const double* w2r, const double* w2i,
                    const double* wsr, const double* wsi, double scale, float* out) {
    if (out)
        FinalPairsRun<L, true>(re, im, k, end, h, w2r, w2i, wsr, wsi, scale, out);
    else
        FinalPairsRun<L, false>(re, im, k, end, h, w2r, w2i, wsr, wsi, scale, out);
}

template <typename L>
SONOTRAP_FFT_INLINE void SplitPairAt(double* re, double* im, size_t k, size_t m, typename L::T wsr, typename L::T wsi) {
    Cx<typename L::T> xk, xm;
    SplitPair(GetCx<L>(re, im, k), GetCxDown<L>(re, im, m - k), wsr, wsi, &xk, &xm);
    PutCx<L>(re, im, k, xk);
    PutCxDown<L>(re, im, m - k, xm);
}

template <typename L>
void SplitPairsLoop(double* re, double* im, size_t k, size_t end, size_t m, const double* wsr, const double* wsi) {
    for (; k + L::kWidth <= end; k += L::kWidth) SplitPairAt<L>(re, im, k, m, L::Get(wsr, k), L::Get(wsi, k));
    for (; k < end; ++k) SplitPairAt<OneLane>(re, im, k, m, wsr[k], wsi[k]);
}

template <typename L>
void MagnitudesLoop(const double* re, const double* im, size_t count, double scale, float* out) {
    size_t k = 0;
    for (; k + L::kWidth <= count; k += L::kWidth) {
        const typename L::T r = L::Get(re, k), i = L::Get(im, k);
        L::PutFloats(out + k, Magnitude<L>({r, i}, scale));
    }
    for (; k < count; ++k) OneLane::PutFloats(out + k, Magnitude<OneLane>({re[k], im[k]}, scale));
}


}  // namespace
}  // namespace sonotrap
