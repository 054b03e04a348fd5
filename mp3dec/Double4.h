#pragma once

// Four doubles side by side for the decoder's AVX2 kernels (x86, chosen at run time). The
// helpers carry the kernels' target so that they inline into them.
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
#include <cstring>

namespace sonotrap::mp3 {

using Double4 = double __attribute__((vector_size(32)));

#define SONOTRAP_AVX2_HELPER __attribute__((target("avx2"), always_inline)) inline

SONOTRAP_AVX2_HELPER Double4 Load4(const double* p) {
    Double4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
SONOTRAP_AVX2_HELPER void Store4(double* p, Double4 v) { std::memcpy(p, &v, sizeof v); }
// p on a 32-byte boundary: one store (compilers may split unaligned 32-byte stores in two,
// and a later load of the whole vector then waits for both to retire).
SONOTRAP_AVX2_HELPER void StoreAligned4(double* p, Double4 v) { *reinterpret_cast<Double4*>(p) = v; }

// Rows r[0..3] (four values each) become columns c[0..3].
SONOTRAP_AVX2_HELPER void Transpose4(const Double4* r, Double4* c) {
    const Double4 t0 = __builtin_shufflevector(r[0], r[1], 0, 4, 2, 6);
    const Double4 t1 = __builtin_shufflevector(r[0], r[1], 1, 5, 3, 7);
    const Double4 t2 = __builtin_shufflevector(r[2], r[3], 0, 4, 2, 6);
    const Double4 t3 = __builtin_shufflevector(r[2], r[3], 1, 5, 3, 7);
    c[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    c[1] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    c[2] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    c[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

#undef SONOTRAP_AVX2_HELPER

}  // namespace sonotrap::mp3
#endif
