#include "mp3dec/PolyphaseSynthesis.h"

#include <cstring>

#include "mp3dec/DecoderTables.h"
#include "mp3dec/Double4.h"

namespace sonotrap::mp3 {
namespace {

// B DCT-IIs of size N side by side, X[m] = sum x[k] cos(pi m (2k + 1) / 2N), by Lee's split
// of each into two half-size DCTs; the halves of all B go on as one batch of 2B, so every
// level is a single call (and the compiler can flatten the whole transform). T is double,
// or (x86) four time slots side by side in a vector, which gives the same bits lane by lane;
// always inlined, so that the vector form is compiled for its caller's instruction set.
template <int N, int B, class T>
inline __attribute__((always_inline)) void BatchDct(const T* in, T* out, const DecoderTables& t) {
    if constexpr (N == 2) {  // the general step with halves of one value, without copies
        const double factor = t.dctFactor[4][0];
#pragma GCC unroll 16
        for (int b = 0; b < B; ++b) {
            out[2 * b] = in[2 * b] + in[2 * b + 1];
            out[2 * b + 1] = (in[2 * b] - in[2 * b + 1]) * factor;
        }
    } else {
        constexpr int kHalf = N / 2;
        constexpr int kLevel = N == 32 ? 0 : N == 16 ? 1 : N == 8 ? 2 : N == 4 ? 3 : 4;
        const double* factor = t.dctFactor[kLevel];
        T halves[2 * B * kHalf], results[2 * B * kHalf];
#pragma GCC unroll 16
        for (int b = 0; b < B; ++b) {
            const T* x = in + b * N;
#pragma GCC unroll 16
            for (int k = 0; k < kHalf; ++k) {
                halves[b * kHalf + k] = x[k] + x[N - 1 - k];
                halves[(B + b) * kHalf + k] = (x[k] - x[N - 1 - k]) * factor[k];
            }
        }
        BatchDct<kHalf, 2 * B>(halves, results, t);
#pragma GCC unroll 16
        for (int b = 0; b < B; ++b) {
            const T* even = results + b * kHalf;
            const T* odd = results + (B + b) * kHalf;
            T* y = out + b * N;
#pragma GCC unroll 16
            for (int m = 0; m < kHalf - 1; ++m) {
                y[2 * m] = even[m];
                y[2 * m + 1] = odd[m] + odd[m + 1];
            }
            y[N - 2] = even[kHalf - 1];
            y[N - 1] = odd[kHalf - 1];
        }
    }
}

using Row = double[SynthesisState::kRow];

// The window sums of one slot: sum[j] over the 16 ages of window x history, and the same with
// the mirrored window. Four outputs at a time, their sums in registers across the ages; every
// sum adds its products in age order, so all paths give the same bits.
void WindowSums(const Row* rows, const DecoderTables& t, double* sum, double* mirror) {
    for (int j0 = 0; j0 < SynthesisState::kRow; j0 += 4) {
        double s0 = 0, s1 = 0, s2 = 0, s3 = 0, m0 = 0, m1 = 0, m2 = 0, m3 = 0;
        for (int h = 0; h < 16; ++h) {
            const double* r = rows[h] + j0;
            const double* w = t.synthesisWindow[h] + j0;
            const double* wm = t.synthesisWindowMirror[h] + j0;
            s0 += w[0] * r[0];
            s1 += w[1] * r[1];
            s2 += w[2] * r[2];
            s3 += w[3] * r[3];
            m0 += wm[0] * r[0];
            m1 += wm[1] * r[1];
            m2 += wm[2] * r[2];
            m3 += wm[3] * r[3];
        }
        const double sums[4] = {s0, s1, s2, s3}, mirrors[4] = {m0, m1, m2, m3};
        std::memcpy(sum + j0, sums, sizeof sums);
        std::memcpy(mirror + j0, mirrors, sizeof mirrors);
    }
}

#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
// The window sums and their rounding with four lanes of AVX2 (chosen at run time). Multiplies
// and adds stay separate operations and the rounding takes the portable steps, so the
// results are identical.
using Int4 = int32_t __attribute__((vector_size(16)));
using Short4 = int16_t __attribute__((vector_size(8)));
using Short8 = int16_t __attribute__((vector_size(16)));
using Bits4 = int64_t __attribute__((vector_size(32)));

__attribute__((target("avx2"), always_inline)) inline Int4 RoundToPcm4(Double4 v) {
    const Double4 low = {-32768.0, -32768.0, -32768.0, -32768.0};
    const Double4 high = {32767.0, 32767.0, 32767.0, 32767.0};
    v = v < low ? low : v;
    v = high < v ? high : v;
    Bits4 bits, half;
    const Double4 halves = {0.5, 0.5, 0.5, 0.5};
    std::memcpy(&bits, &v, sizeof bits);
    std::memcpy(&half, &halves, sizeof half);
    half |= bits & static_cast<int64_t>(0x8000000000000000ull);
    Double4 signedHalf;
    std::memcpy(&signedHalf, &half, sizeof half);
    return __builtin_convertvector(v + signedHalf, Int4);
}

// The window sums of a slot whose newest row (age 0) is `newest`, the older ones at
// rows[1..15]. All the sums at once, the ages in the outer loop: nine chains of additions run
// side by side. The mirrored window is zero past j = 15, so its last four outputs are not
// summed (they are not used).
__attribute__((target("avx2"), always_inline)) inline void WindowSumsAvx2(
    const Double4* newest, const Row* rows, const DecoderTables& t, Short4* sum, Short4* mirror) {
    constexpr int kGroups = SynthesisState::kRow / 4;
    Double4 s[kGroups] = {}, m[kGroups - 1] = {};
#pragma GCC unroll 16
    for (int h = 0; h < 16; ++h) {
#pragma GCC unroll 5
        for (int g = 0; g < kGroups; ++g) {
            const Double4 r = h == 0 ? newest[g] : Load4(rows[h] + 4 * g);
            s[g] += Load4(t.synthesisWindow[h] + 4 * g) * r;
            if (g < kGroups - 1) m[g] += Load4(t.synthesisWindowMirror[h] + 4 * g) * r;
        }
    }
#pragma GCC unroll 5
    for (int g = 0; g < kGroups; ++g) {
        sum[g] = __builtin_convertvector(RoundToPcm4(s[g]), Short4);  // in range: exact
        if (g < kGroups - 1) mirror[g] = __builtin_convertvector(RoundToPcm4(m[g]), Short4);
    }
}
#endif

// Ring update, window sums and rounding of one slot whose transform x is done.
void FilterSlot(SynthesisState& state, const double* x, int16_t* out, int stride,
                const DecoderTables& t) {
    // The 64-value V vector is [X16..X31, 0, -X31..-X1, -X0, -X1..-X15]; its distinct halves
    // are a = V[0..16] and b = V[32..48].
    const int pos = state.position = (state.position + 15) & 15;
    double a[SynthesisState::kRow] = {}, b[SynthesisState::kRow] = {};
    for (int j = 0; j < 16; ++j) a[j] = x[16 + j];
    for (int j = 0; j <= 16; ++j) b[j] = -x[16 - j];
    for (int q = 0; q < 2; ++q) {
        const double* value = (pos & 1) == q ? a : b;
        std::memcpy(state.v[q][pos], value, sizeof a);
        std::memcpy(state.v[q][pos + 16], value, sizeof a);
    }
    double sum[SynthesisState::kRow], mirror[SynthesisState::kRow];
    WindowSums(state.v[pos & 1] + pos, t, sum, mirror);
    for (int j = 0; j <= 16; ++j) out[j * stride] = RoundToPcm(sum[j]);
    for (int j = 1; j <= 15; ++j) out[(32 - j) * stride] = RoundToPcm(mirror[j]);
}

#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)

// FilterSlot with AVX2, its 32 samples in output order in pcm[0..3]. The rows are stored
// whole vectors at a time, so that the window sums' loads of them are served from those
// stores.
__attribute__((target("avx2"), always_inline)) inline void FilterSlotPcm(SynthesisState& state,
                                                                          const double* x,
                                                                          const DecoderTables& t,
                                                                          Short8* pcm) {
    const int pos = state.position = (state.position + 15) & 15;
    constexpr int kGroups = SynthesisState::kRow / 4;
    Double4 a[kGroups], b[kGroups];
#pragma GCC unroll 4
    for (int g = 0; g < 4; ++g) {
        a[g] = Load4(x + 16 + 4 * g);
        const Double4 low = Load4(x + 13 - 4 * g);
        b[g] = -__builtin_shufflevector(low, low, 3, 2, 1, 0);  // b[j] = -x[16 - j]
    }
    a[4] = Double4{0, 0, 0, 0};
    b[4] = Double4{-x[0], 0, 0, 0};
    // The set the sums read takes a, the other b; each row twice.
    double* own = state.v[pos & 1][pos];
    double* other = state.v[(pos & 1) ^ 1][pos];
    constexpr int kCopy = 16 * SynthesisState::kRow;
#pragma GCC unroll 5
    for (int g = 0; g < kGroups; ++g) {
        StoreAligned4(own + 4 * g, a[g]);
        StoreAligned4(own + kCopy + 4 * g, a[g]);
        StoreAligned4(other + 4 * g, b[g]);
        StoreAligned4(other + kCopy + 4 * g, b[g]);
    }
    Short4 sum[kGroups], mirror[kGroups - 1];
    WindowSumsAvx2(a, state.v[pos & 1] + pos, t, sum, mirror);  // the newest row is a
    // Samples 0..16 are sum[0..16], 17..31 are mirror[15..1].
    const Short8 sumLow = __builtin_shufflevector(sum[0], sum[1], 0, 1, 2, 3, 4, 5, 6, 7);
    const Short8 sumHigh = __builtin_shufflevector(sum[2], sum[3], 0, 1, 2, 3, 4, 5, 6, 7);
    const Short8 sumLast = __builtin_shufflevector(sum[4], sum[4], 0, 1, 2, 3, 0, 1, 2, 3);
    const Short8 mirrorLow = __builtin_shufflevector(mirror[0], mirror[1], 0, 1, 2, 3, 4, 5, 6, 7);
    const Short8 mirrorHigh = __builtin_shufflevector(mirror[2], mirror[3], 0, 1, 2, 3, 4, 5, 6, 7);
    pcm[0] = sumLow;
    pcm[1] = sumHigh;
    pcm[2] = __builtin_shufflevector(sumLast, mirrorHigh, 0, 15, 14, 13, 12, 11, 10, 9);
    pcm[3] = __builtin_shufflevector(mirrorHigh, mirrorLow, 0, 15, 14, 13, 12, 11, 10, 9);
}

__attribute__((target("avx2"))) void FilterSlotAvx2(SynthesisState& state, const double* x,
                                                    int16_t* out, int stride,
                                                    const DecoderTables& t) {
    Short8 pcm[4];
    FilterSlotPcm(state, x, t, pcm);
    if (stride == 1) {
        std::memcpy(out, pcm, sizeof pcm);
        return;
    }
    int16_t samples[32];
    std::memcpy(samples, pcm, sizeof samples);
    for (int j = 0; j < 32; ++j) out[j * stride] = samples[j];
}

// The transforms of four time slots side by side, with AVX2 (chosen at run time); x is
// aligned to 32 bytes.
__attribute__((target("avx2"))) void DctFourSlots(const double (*subbands)[32], double (*x)[32],
                                                  const DecoderTables& t) {
    Double4 in[32], out[32];
    for (int c = 0; c < 32; c += 4) {
        const Double4 rows[4] = {Load4(subbands[0] + c), Load4(subbands[1] + c), Load4(subbands[2] + c),
                                 Load4(subbands[3] + c)};
        Transpose4(rows, in + c);
    }
    BatchDct<32, 1>(in, out, t);
    for (int c = 0; c < 32; c += 4) {
        Double4 columns[4];
        Transpose4(out + c, columns);
        for (int s = 0; s < 4; ++s) StoreAligned4(x[s] + c, columns[s]);
    }
}

// The transforms of n (at most four) time slots, the group padded with silent slots.
__attribute__((target("avx2"))) void DctSlots(const double (*subbands)[32], int n, double (*x)[32],
                                              const DecoderTables& t) {
    if (n == 4) return DctFourSlots(subbands, x, t);
    alignas(32) double padded[4][32];
    for (int s = 0; s < 4; ++s)
        for (int c = 0; c < 32; c += 4)
            StoreAligned4(padded[s] + c, s < n ? Load4(subbands[s] + c) : Double4{0, 0, 0, 0});
    DctFourSlots(padded, x, t);
}

// `slots` time slots with AVX2: the transforms four at a time, then each slot's filter.
__attribute__((target("avx2"))) void SynthesizeSlotsAvx2(SynthesisState& state,
                                                         const double (*subbands)[32], int slots,
                                                         int16_t* out, int stride,
                                                         const DecoderTables& t) {
    alignas(32) double x[4][32];
    for (int s0 = 0; s0 < slots; s0 += 4) {
        const int n = std::min(4, slots - s0);
        DctSlots(subbands + s0, n, x, t);
        for (int s = 0; s < n; ++s) FilterSlotAvx2(state, x[s], out + 32 * stride * (s0 + s), stride, t);
    }
}

// Both channels with AVX2, their samples interleaved as they are made.
__attribute__((target("avx2"))) void SynthesizeStereoAvx2(SynthesisState* states,
                                                          const double (*const* subbands)[32],
                                                          int slots, int16_t* out,
                                                          const DecoderTables& t) {
    alignas(32) double x[2][4][32];
    for (int s0 = 0; s0 < slots; s0 += 4) {
        const int n = std::min(4, slots - s0);
        for (int ch = 0; ch < 2; ++ch) DctSlots(subbands[ch] + s0, n, x[ch], t);
        for (int s = 0; s < n; ++s) {
            Short8 left[4], right[4];
            FilterSlotPcm(states[0], x[0][s], t, left);
            FilterSlotPcm(states[1], x[1][s], t, right);
            Short8 pairs[8];
            for (int p = 0; p < 4; ++p) {
                pairs[2 * p] = __builtin_shufflevector(left[p], right[p], 0, 8, 1, 9, 2, 10, 3, 11);
                pairs[2 * p + 1] = __builtin_shufflevector(left[p], right[p], 4, 12, 5, 13, 6, 14, 7, 15);
            }
            std::memcpy(out + 64 * (s0 + s), pairs, sizeof pairs);
        }
    }
}
#endif

}  // namespace

void ClearSynthesis(SynthesisState& state) { std::memset(&state, 0, sizeof state); }

void SynthesizeSlot(SynthesisState& state, const double* subbands, int16_t* out, int stride) {
    const DecoderTables& t = Tables();
    double x[32];
    BatchDct<32, 1>(subbands, x, t);
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
    if (t.avx2) return FilterSlotAvx2(state, x, out, stride, t);
#endif
    FilterSlot(state, x, out, stride, t);
}

void SynthesizeStereoSlots(SynthesisState* states, const double (*const* subbands)[32], int slots,
                           int16_t* out) {
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
    const DecoderTables& t = Tables();
    if (t.avx2) return SynthesizeStereoAvx2(states, subbands, slots, out, t);
#endif
    for (int ch = 0; ch < 2; ++ch) SynthesizeSlots(states[ch], subbands[ch], slots, out + ch, 2);
}

void SynthesizeSlots(SynthesisState& state, const double (*subbands)[32], int slots, int16_t* out,
                     int stride) {
    const DecoderTables& t = Tables();
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
    if (t.avx2) {
        SynthesizeSlotsAvx2(state, subbands, slots, out, stride, t);
        return;
    }
#endif
    for (int s = 0; s < slots; ++s) {
        double x[32];
        BatchDct<32, 1>(subbands[s], x, t);
        FilterSlot(state, x, out + 32 * stride * s, stride, t);
    }
}

}  // namespace sonotrap::mp3
