#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace sonotrap::mp3 {

// The synthesis subband filter: 32 subband samples per time slot become 32 PCM samples.
// The window is scaled so that the filter's sums are PCM values directly.
constexpr double kSynthesisScale = 32767.0;

// One channel's filter history: the distinct values (17 per slot) of the last 16 V vectors,
// kept so that a slot's window sums read one contiguous row per age. Each V vector has two
// halves, a and b; a sum uses a from even ages and b from odd ones, so set q holds, for
// ring slot s, a when s has the parity q and b otherwise; the ring is stored twice in a row.
struct SynthesisState {
    static constexpr int kRow = 20;  // 17 values, padded to whole vectors of four
    alignas(32) double v[2][32][kRow];  // rows on 32-byte boundaries for vector stores
    int position;
};

void ClearSynthesis(SynthesisState& state);

// Rounds half away from zero and saturates to the 16-bit range. Without branches: the signs
// of successive samples are random, and a mispredicted branch costs more than the sum.
inline int16_t RoundToPcm(double sum) {
    const double clipped = std::min(std::max(sum, -32768.0), 32767.0);
    return static_cast<int16_t>(static_cast<int32_t>(clipped + std::copysign(0.5, clipped)));
}

// Filters one time slot: writes 32 samples to out[0], out[stride], ... out[31 * stride].
void SynthesizeSlot(SynthesisState& state, const double* subbands, int16_t* out, int stride);
// The same for `slots` (at most 18) successive slots: slot s goes to out + 32 * stride * s.
void SynthesizeSlots(SynthesisState& state, const double (*subbands)[32], int slots, int16_t* out,
                     int stride);
// The same for two channels, states[0] and [1] with subbands[0] and [1], their samples
// interleaved (left first) in out.
void SynthesizeStereoSlots(SynthesisState* states, const double (*const* subbands)[32], int slots,
                           int16_t* out);

}  // namespace sonotrap::mp3
