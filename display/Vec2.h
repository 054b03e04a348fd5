#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

// Small vectors for the analyser's inner loops: two doubles (Vec2) and four floats (Float4),
// the GCC/Clang vector extension where available (SSE2, NEON, ...), otherwise plain arrays
// with the same operators. Results are bit-identical either way: every operation is an
// ordinary IEEE operation per lane.
namespace sonotrap::simd {

#if (defined(__GNUC__) || defined(__clang__)) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
using Vec2 = double __attribute__((vector_size(16)));
using Float4 = float __attribute__((vector_size(16)));
using Mask4 = int __attribute__((vector_size(16)));
using Short8 = short __attribute__((vector_size(16)));
using Int4 = int __attribute__((vector_size(16)));
inline Vec2 Swap(Vec2 v) { return __builtin_shufflevector(v, v, 1, 0); }
// (a[0], b[0]) and (a[1], b[1]).
inline Vec2 Lows(Vec2 a, Vec2 b) { return __builtin_shufflevector(a, b, 0, 2); }
inline Vec2 Highs(Vec2 a, Vec2 b) { return __builtin_shufflevector(a, b, 1, 3); }
// Two 16-bit samples as doubles: each sample doubled into a 32-bit lane and shifted back
// down, which sign-extends it (a few vector instructions instead of two scalar conversions).
inline Vec2 LoadSamples(const int16_t* p) {
    int32_t word;
    std::memcpy(&word, p, sizeof word);
    const Short8 s = reinterpret_cast<Short8>(Int4{word, 0, 0, 0});
    const Int4 wide = reinterpret_cast<Int4>(__builtin_shufflevector(s, s, 0, 0, 1, 1, 2, 2, 3, 3)) >> 16;
    return __builtin_convertvector(__builtin_shufflevector(wide, wide, 0, 1), Vec2);
}
inline Vec2 LoadFloats(const float* p) {
    Float4 f{};
    std::memcpy(&f, p, 2 * sizeof(float));
    return __builtin_convertvector(__builtin_shufflevector(f, f, 0, 1), Vec2);
}
inline Vec2 Sqrt(Vec2 v) {
#if defined(__SSE2__)
    return __builtin_ia32_sqrtpd(v);
#else
    return Vec2{__builtin_sqrt(v[0]), __builtin_sqrt(v[1])};
#endif
}
// Bit i set where lane i of a comparison is true.
inline unsigned Bits(Mask4 m) {
#if defined(__SSE__)
    return static_cast<unsigned>(__builtin_ia32_movmskps(reinterpret_cast<Float4>(m)));
#else
    return (m[0] & 1u) | (m[1] & 2u) | (m[2] & 4u) | (m[3] & 8u);
#endif
}
inline Float4 Splat4(float v) { return Float4{v, v, v, v}; }
// max(a, b) lane by lane, a where they are equal.
inline Float4 Max(Float4 a, Float4 b) { return a < b ? b : a; }
// Bits(a) | Bits(b) << 4 | Bits(c) << 8 | Bits(d) << 12, with one mask move where SSE2 has it.
inline unsigned Bits16(Mask4 a, Mask4 b, Mask4 c, Mask4 d) {
#if defined(__SSE2__)
    using Char16 = char __attribute__((vector_size(16)));
    const Char16 bytes = __builtin_ia32_packsswb128(__builtin_ia32_packssdw128(a, b), __builtin_ia32_packssdw128(c, d));
    return static_cast<unsigned>(__builtin_ia32_pmovmskb128(bytes));
#else
    return Bits(a) | Bits(b) << 4 | Bits(c) << 8 | Bits(d) << 12;
#endif
}
#else
struct Vec2 {
    double lane[2];
    double operator[](int i) const { return lane[i]; }
};
inline Vec2 operator+(Vec2 a, Vec2 b) { return {{a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {{a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]}}; }
inline Vec2 operator*(Vec2 a, Vec2 b) { return {{a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}}; }
inline Vec2 operator/(Vec2 a, Vec2 b) { return {{a.lane[0] / b.lane[0], a.lane[1] / b.lane[1]}}; }
inline Vec2 operator-(Vec2 a) { return {{-a.lane[0], -a.lane[1]}}; }
inline Vec2 operator*(double s, Vec2 a) { return {{s * a.lane[0], s * a.lane[1]}}; }
inline Vec2 Swap(Vec2 v) { return {{v.lane[1], v.lane[0]}}; }
inline Vec2 Lows(Vec2 a, Vec2 b) { return {{a.lane[0], b.lane[0]}}; }
inline Vec2 Highs(Vec2 a, Vec2 b) { return {{a.lane[1], b.lane[1]}}; }
inline Vec2 LoadSamples(const int16_t* p) { return {{static_cast<double>(p[0]), static_cast<double>(p[1])}}; }
inline Vec2 LoadFloats(const float* p) { return {{static_cast<double>(p[0]), static_cast<double>(p[1])}}; }
inline Vec2 Sqrt(Vec2 v) { return {{std::sqrt(v.lane[0]), std::sqrt(v.lane[1])}}; }

struct Float4 {
    float lane[4];
    float operator[](int i) const { return lane[i]; }
};
inline Float4 operator/(Float4 a, Float4 b) {
    return {{a.lane[0] / b.lane[0], a.lane[1] / b.lane[1], a.lane[2] / b.lane[2], a.lane[3] / b.lane[3]}};
}
inline Float4 Max(Float4 a, Float4 b) {
    return {{std::max(a.lane[0], b.lane[0]), std::max(a.lane[1], b.lane[1]), std::max(a.lane[2], b.lane[2]),
             std::max(a.lane[3], b.lane[3])}};
}
struct Mask4 {
    bool lane[4];
};
inline Mask4 operator>(Float4 a, Float4 b) {
    return {{a.lane[0] > b.lane[0], a.lane[1] > b.lane[1], a.lane[2] > b.lane[2], a.lane[3] > b.lane[3]}};
}
inline Mask4 operator>=(Float4 a, Float4 b) {
    return {{a.lane[0] >= b.lane[0], a.lane[1] >= b.lane[1], a.lane[2] >= b.lane[2], a.lane[3] >= b.lane[3]}};
}
inline Mask4 operator&(Mask4 a, Mask4 b) {
    return {{a.lane[0] && b.lane[0], a.lane[1] && b.lane[1], a.lane[2] && b.lane[2], a.lane[3] && b.lane[3]}};
}
inline unsigned Bits(Mask4 m) { return m.lane[0] | m.lane[1] << 1 | m.lane[2] << 2 | m.lane[3] << 3; }
inline Float4 Splat4(float v) { return {{v, v, v, v}}; }
inline unsigned Bits16(Mask4 a, Mask4 b, Mask4 c, Mask4 d) {
    return Bits(a) | Bits(b) << 4 | Bits(c) << 8 | Bits(d) << 12;
}
#endif

inline Vec2 Load(const double* p) {
    Vec2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store(double* p, Vec2 v) { std::memcpy(p, &v, sizeof v); }
inline Float4 Load4(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store4(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

}  // namespace sonotrap::simd
