#pragma once
#include <cstdint>

namespace sonotrap::mp3 {

// The synthesis subband filter: 32 subband samples per time slot become 32 PCM samples.
// The window is scaled so that the filter's sums are PCM values directly.
constexpr double kSynthesisScale = 32768.0;

// One channel's filter history: the distinct halves of the last 16 V vectors.
struct SynthesisState {
    double a[16][17];
    double b[16][17];
    int position;
};

void ClearSynthesis(SynthesisState& state);

// Rounds half away from zero and saturates to the 16-bit range.
inline int16_t RoundToPcm(double sum) {
    if (sum > 32767.0) return 32767;
    if (sum < -32768.0) return -32768;
    return static_cast<int16_t>(sum >= 0 ? static_cast<int32_t>(sum + 0.5)
                                         : static_cast<int32_t>(sum - 0.5));
}

// Filters one time slot: writes 32 samples to out[0], out[stride], ... out[31 * stride].
void SynthesizeSlot(SynthesisState& state, const double* subbands, int16_t* out, int stride);

}  // namespace sonotrap::mp3
