// The FFT loops for processors with 256-bit vectors (x86-64 with AVX2), chosen at run time;
// everywhere else the portable loops serve alone. Only the loops themselves are compiled for
// AVX2: the chooser and the table of loops use the base instruction set, so a processor
// without AVX2 never meets one of its instructions.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
#define SONOTRAP_WIDE_FFT 1
#endif

#if defined(SONOTRAP_WIDE_FFT)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#endif

#include "display/FftKernels.h"

#if defined(SONOTRAP_WIDE_FFT)

namespace sonotrap {
namespace {

using Vec4 = double __attribute__((vector_size(32)));
using Float4 = float __attribute__((vector_size(16)));

// Indices i .. i + 3 (the "Down" forms i .. i - 3).
struct FourLanes {
    using T = Vec4;
    static constexpr size_t kWidth = 4;
    static T Get(const double* p, size_t i) {
        T v;
        std::memcpy(&v, p + i, sizeof v);
        return v;
    }
    static void Put(double* p, size_t i, T v) { std::memcpy(p + i, &v, sizeof v); }
    static T Reverse(T v) { return __builtin_shufflevector(v, v, 3, 2, 1, 0); }
    static T GetDown(const double* p, size_t i) { return Reverse(Get(p, i - 3)); }
    static void PutDown(double* p, size_t i, T v) { Put(p, i - 3, Reverse(v)); }
    static T Sqrt(T v) { return __builtin_ia32_sqrtpd256(v); }
    static void PutFloats(float* p, T v) {
        const Float4 f = __builtin_convertvector(v, Float4);
        std::memcpy(p, &f, sizeof f);
    }
    static void PutFloatsDown(float* p, T v) { PutFloats(p - 3, Reverse(v)); }
};

using Vec2 = double __attribute__((vector_size(16)));
using Short8 = short __attribute__((vector_size(16)));
using Int4 = int __attribute__((vector_size(16)));

// The first stage two quads at a time, q and q + 1: each vector holds value j of both, as
// (re, im) of q then of q + 1; the results are turned round into four values of each row.
template <bool kWindowed>
void FirstStagePairs(const FirstStageInput& in, size_t q, size_t end, double* re, double* im) {
    const auto z = [&](size_t j) {
        const size_t n0 = in.firstIndex[q] + j * in.quarter, n1 = in.firstIndex[q + 1] + j * in.quarter;
        if constexpr (kWindowed) {
            int32_t v0, v1;
            std::memcpy(&v0, in.samples + 2 * n0, sizeof v0);
            std::memcpy(&v1, in.samples + 2 * n1, sizeof v1);
            // Each sample doubled into a 32-bit lane and shifted back down: sign-extended.
            const Short8 s = reinterpret_cast<Short8>(Int4{v0, v1, 0, 0});
            const Int4 wide = reinterpret_cast<Int4>(__builtin_shufflevector(s, s, 0, 0, 1, 1, 2, 2, 3, 3)) >> 16;
            return __builtin_ia32_cvtdq2pd256(wide) * FourLanes::Get(in.window, WindowSlot(q, j));
        } else {
            Vec2 v0, v1;
            std::memcpy(&v0, in.packed + 2 * n0, sizeof v0);
            std::memcpy(&v1, in.packed + 2 * n1, sizeof v1);
            return Vec4(__builtin_shufflevector(v0, v1, 0, 1, 2, 3));
        }
    };
    const Vec4 conjugateSign{1.0, -1.0, 1.0, -1.0};
    for (; q + 2 <= end; q += 2) {
        const Vec4 d0 = z(0), d1 = z(1), d2 = z(2), d3 = z(3);
        const Vec4 a0 = d0 + d2, a1 = d0 - d2, a2 = d1 + d3, a3 = d1 - d3;
        const Vec4 minusIa3 = __builtin_shufflevector(a3, a3, 1, 0, 3, 2) * conjugateSign;  // -i a3, exact
        const Vec4 y0 = a0 + a2, y1 = a1 + minusIa3, y2 = a0 - a2, y3 = a1 - minusIa3;
        const Vec4 re01 = __builtin_shufflevector(y0, y1, 0, 4, 2, 6), im01 = __builtin_shufflevector(y0, y1, 1, 5, 3, 7);
        const Vec4 re23 = __builtin_shufflevector(y2, y3, 0, 4, 2, 6), im23 = __builtin_shufflevector(y2, y3, 1, 5, 3, 7);
        FourLanes::Put(re, 4 * q, __builtin_shufflevector(re01, re23, 0, 1, 4, 5));
        FourLanes::Put(re, 4 * q + 4, __builtin_shufflevector(re01, re23, 2, 3, 6, 7));
        FourLanes::Put(im, 4 * q, __builtin_shufflevector(im01, im23, 0, 1, 4, 5));
        FourLanes::Put(im, 4 * q + 4, __builtin_shufflevector(im01, im23, 2, 3, 6, 7));
    }
}

void WideFirstStage(const FirstStageInput& in, size_t begin, size_t end, double* re, double* im) {
    const size_t pairedEnd = begin + (end - begin) / 2 * 2;
    if (in.packed)
        FirstStagePairs<false>(in, begin, pairedEnd, re, im);
    else
        FirstStagePairs<true>(in, begin, pairedEnd, re, im);
    // A lone quad (transforms of 8 values) takes the portable loop.
    if (pairedEnd < end) PortableFftKernels().firstStage(in, pairedEnd, end, re, im);
}

}  // namespace
}  // namespace sonotrap

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace sonotrap {
namespace {

// Addresses only: a constant table, built without running any code.
constexpr FftKernelSet kWideKernels{&WideFirstStage, &Radix4StageLoop<FourLanes>, &FinalPairsLoop<FourLanes>,
                                    &SplitPairsLoop<FourLanes>, &MagnitudesLoop<FourLanes>};

}  // namespace

const FftKernelSet* WideFftKernels() {
    __builtin_cpu_init();  // may run before the run-time library's own start-up has done it
    return __builtin_cpu_supports("avx2") ? &kWideKernels : nullptr;
}

}  // namespace sonotrap

#else

namespace sonotrap {
const FftKernelSet* WideFftKernels() { return nullptr; }
}  // namespace sonotrap

#endif
