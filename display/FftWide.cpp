// The FFT loops for processors with 256-bit vectors (x86-64 with AVX2), chosen at run time;
// everywhere else the portable loops serve alone. Only the loops themselves are compiled for
// AVX2: the chooser and the table of loops use the base instruction set, so a processor
// without AVX2 never meets one of its instructions.
#include <cmath>
#include <cstddef>
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
};

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
constexpr FftKernelSet kWideKernels{&Radix4StageLoop<FourLanes>, &FinalPairsLoop<FourLanes>,
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
