#include "mp3dec/PolyphaseSynthesis.h"

#include <cstring>

#include "mp3dec/DecoderTables.h"

namespace sonotrap::mp3 {
namespace {

// DCT-II, X[m] = sum x[k] cos(pi m (2k + 1) / 2N), by Lee's split into two half-size DCTs.
template <int N>
void Dct(const double* in, double* out, const DecoderTables& t) {
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        constexpr int kHalf = N / 2;
        constexpr int kLevel = N == 32 ? 0 : N == 16 ? 1 : N == 8 ? 2 : N == 4 ? 3 : 4;
        double sum[kHalf], diff[kHalf], even[kHalf], odd[kHalf];
        for (int k = 0; k < kHalf; ++k) {
            sum[k] = in[k] + in[N - 1 - k];
            diff[k] = (in[k] - in[N - 1 - k]) * t.dctFactor[kLevel][k];
        }
        Dct<kHalf>(sum, even, t);
        Dct<kHalf>(diff, odd, t);
        for (int m = 0; m < kHalf - 1; ++m) {
            out[2 * m] = even[m];
            out[2 * m + 1] = odd[m] + odd[m + 1];
        }
        out[N - 2] = even[kHalf - 1];
        out[N - 1] = odd[kHalf - 1];
    }
}

}  // namespace

void ClearSynthesis(SynthesisState& state) { std::memset(&state, 0, sizeof state); }

void SynthesizeSlot(SynthesisState& state, const double* subbands, int16_t* out, int stride) {
    const DecoderTables& t = Tables();
    double x[32];
    Dct<32>(subbands, x, t);

    // The 64-value V vector is [X16..X31, 0, -X31..-X1, -X0, -X1..-X15]; keep its two
    // distinct halves, a = V[0..16] and b = V[32..48].
    const int pos = state.position = (state.position + 15) & 15;
    double* a = state.a[pos];
    double* b = state.b[pos];
    for (int j = 0; j < 16; ++j) a[j] = x[16 + j];
    a[16] = 0.0;
    for (int j = 0; j <= 16; ++j) b[j] = -x[16 - j];

    for (int j = 0; j <= 16; ++j) {
        double sum = 0.0, mirror = 0.0;
        const double* even = t.synthesisEven[j];
        const double* odd = t.synthesisOdd[j];
        const double* evenMirror = t.synthesisEvenMirror[j];
        const double* oddMirror = t.synthesisOddMirror[j];
        for (int i = 0; i < 8; ++i) {
            const double av = state.a[(pos + 2 * i) & 15][j];
            const double bv = state.b[(pos + 2 * i + 1) & 15][j];
            sum += even[i] * av + odd[i] * bv;
            mirror += evenMirror[i] * av + oddMirror[i] * bv;
        }
        out[j * stride] = RoundToPcm(sum);
        if (j >= 1 && j <= 15) out[(32 - j) * stride] = RoundToPcm(mirror);
    }
}

}  // namespace sonotrap::mp3
