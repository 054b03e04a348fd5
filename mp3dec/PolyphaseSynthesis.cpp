#include "mp3dec/PolyphaseSynthesis.h"

#include <cstring>

#include "mp3dec/DecoderTables.h"

namespace sonotrap::mp3 {
namespace {

// B DCT-IIs of size N side by side, X[m] = sum x[k] cos(pi m (2k + 1) / 2N), by Lee's split
// of each into two half-size DCTs; the halves of all B go on as one batch of 2B, so every
// level is a single call (and the compiler can flatten the whole transform). T is double,
// or (x86) four time slots side by side in a vector, which gives the same bits lane by lane;
// always inlined, so that the vector form is compiled for its caller's instruction set.
template <int N, int B, class T>
inline __attribute__((always_inline)) void BatchDct(const T* in, T* out, const DecoderTables& t) {
    if constexpr (N == 1) {
        for (int b = 0; b < B; ++b) out[b] = in[b];
    } else {
        constexpr int kHalf = N / 2;
        constexpr int kLevel = N == 32 ? 0 : N == 16 ? 1 : N == 8 ? 2 : N == 4 ? 3 : 4;
        const double* factor = t.dctFactor[kLevel];
        T halves[2 * B * kHalf], results[2 * B * kHalf];
        for (int b = 0; b < B; ++b) {
            const T* x = in + b * N;
            for (int k = 0; k < kHalf; ++k) {
                halves[b * kHalf + k] = x[k] + x[N - 1 - k];
                halves[(B + b) * kHalf + k] = (x[k] - x[N - 1 - k]) * factor[k];
            }
        }
        BatchDct<kHalf, 2 * B>(halves, results, t);
        for (int b = 0; b < B; ++b) {
            const T* even = results + b * kHalf;
            const T* odd = results + (B + b) * kHalf;
            T* y = out + b * N;
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
using Double4 = double __attribute__((vector_size(32)));

// The transforms of four time slots at once, with AVX2 (chosen at run time).
__attribute__((target("avx2"))) void DctFourSlots(const double (*subbands)[32], double (*x)[32],
                                                  const DecoderTables& t) {
    Double4 in[32], out[32];
    for (int k = 0; k < 32; ++k)
        in[k] = Double4{subbands[0][k], subbands[1][k], subbands[2][k], subbands[3][k]};
    BatchDct<32, 1>(in, out, t);
    for (int k = 0; k < 32; ++k)
        for (int lane = 0; lane < 4; ++lane) x[lane][k] = out[k][lane];
}

// The window sums and their rounding with four lanes of AVX2 (chosen at run time). Multiplies
// and adds stay separate operations and the rounding takes the portable steps, so the
// results are identical.
using Int4 = int32_t __attribute__((vector_size(16)));
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

__attribute__((target("avx2"))) void WindowSumsAvx2(const Row* rows, const DecoderTables& t,
                                                    int32_t* sum, int32_t* mirror) {
    for (int j0 = 0; j0 < SynthesisState::kRow; j0 += 4) {
        Double4 s = {0, 0, 0, 0}, m = {0, 0, 0, 0};
        for (int h = 0; h < 16; ++h) {
            Double4 r, w, wm;
            std::memcpy(&r, rows[h] + j0, sizeof r);
            std::memcpy(&w, t.synthesisWindow[h] + j0, sizeof w);
            std::memcpy(&wm, t.synthesisWindowMirror[h] + j0, sizeof wm);
            s += w * r;
            m += wm * r;
        }
        const Int4 roundedSum = RoundToPcm4(s), roundedMirror = RoundToPcm4(m);
        std::memcpy(sum + j0, &roundedSum, sizeof roundedSum);
        std::memcpy(mirror + j0, &roundedMirror, sizeof roundedMirror);
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

    const double(*rows)[SynthesisState::kRow] = state.v[pos & 1] + pos;
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
    if (t.avx2) {
        int32_t sum[SynthesisState::kRow], mirror[SynthesisState::kRow];
        WindowSumsAvx2(rows, t, sum, mirror);
        for (int j = 0; j <= 16; ++j) out[j * stride] = static_cast<int16_t>(sum[j]);
        for (int j = 1; j <= 15; ++j) out[(32 - j) * stride] = static_cast<int16_t>(mirror[j]);
        return;
    }
#endif
    double sum[SynthesisState::kRow], mirror[SynthesisState::kRow];
    WindowSums(rows, t, sum, mirror);
    for (int j = 0; j <= 16; ++j) out[j * stride] = RoundToPcm(sum[j]);
    for (int j = 1; j <= 15; ++j) out[(32 - j) * stride] = RoundToPcm(mirror[j]);
}

}  // namespace

void ClearSynthesis(SynthesisState& state) { std::memset(&state, 0, sizeof state); }

void SynthesizeSlot(SynthesisState& state, const double* subbands, int16_t* out, int stride) {
    const DecoderTables& t = Tables();
    double x[32];
    BatchDct<32, 1>(subbands, x, t);
    FilterSlot(state, x, out, stride, t);
}

void SynthesizeSlots(SynthesisState& state, const double (*subbands)[32], int slots, int16_t* out,
                     int stride) {
    const DecoderTables& t = Tables();
    double x[18][32];
    int s = 0;
#if defined(__x86_64__) && !defined(SONOTRAP_NO_VECTOR_EXTENSIONS)
    if (t.avx2)
        for (; s + 4 <= slots; s += 4) DctFourSlots(subbands + s, x + s, t);
#endif
    for (; s < slots; ++s) BatchDct<32, 1>(subbands[s], x[s], t);
    for (s = 0; s < slots; ++s) FilterSlot(state, x[s], out + 32 * stride * s, stride, t);
}

}  // namespace sonotrap::mp3
