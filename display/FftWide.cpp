// The FFT loops for processors with 256-bit vectors (x86-64 with AVX2), chosen at run time;
// everywhere else the portable loops serve alone. Only this file is compiled for AVX2, and
// nothing here runs unless the processor reports it.
#include <cmath>
#include <cstddef>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
#define SONOTRAP_WIDE_FFT 1
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#endif

#include "display/FftKernels.h"

namespace sonotrap {

#if defined(SONOTRAP_WIDE_FFT)

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

const FftKernelSet* WideFftKernels() {
    static const FftKernelSet kernels = KernelSetFor<FourLanes>();
    static const bool available = __builtin_cpu_supports("avx2");
    return available ? &kernels : nullptr;
}

#else

const FftKernelSet* WideFftKernels() { return nullptr; }

#endif

}  // namespace sonotrap

#if defined(SONOTRAP_WIDE_FFT)
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
