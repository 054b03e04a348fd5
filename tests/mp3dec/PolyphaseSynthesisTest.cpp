#include "mp3dec/PolyphaseSynthesis.h"

#include "mp3dec/Layer3Tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace sonotrap::mp3 {
namespace {

TEST(PolyphaseSynthesis, RoundsHalfAwayFromZeroAndSaturates) {
    const std::pair<double, int> cases[] = {{2.5, 3},         {-2.5, -3},   {2.4999, 2},        {-0.4, 0},
                                            {32767.6, 32767}, {1e9, 32767}, {-32768.4, -32768}, {-1e9, -32768}};
    for (auto [sum, pcm] : cases) EXPECT_EQ(RoundToPcm(sum), pcm) << sum;
}

// The standard's synthesis, written out directly, for four slots after a cleared history.
TEST(PolyphaseSynthesis, MatchesTheDirectMatrixingOfTheStandard) {
    SynthesisState state;
    ClearSynthesis(state);
    double v[16][64] = {};
    double s[32];
    for (int k = 0; k < 32; ++k) s[k] = 0.15 * (k + 1) * ((k % 3) ? 1 : -1);
    int16_t out[32];
    const double pi = std::acos(-1.0);
    for (int slot = 0; slot < 4; ++slot) {
        for (int h = 15; h > 0; --h)
            for (int i = 0; i < 64; ++i) v[h][i] = v[h - 1][i];
        for (int i = 0; i < 64; ++i) {
            double sum = 0;
            for (int k = 0; k < 32; ++k) sum += std::cos((16 + i) * (2 * k + 1) * pi / 64) * s[k];
            v[0][i] = sum;
        }
        SynthesizeSlot(state, s, out, 1);
        for (int j = 0; j < 32; ++j) {
            double sum = 0;
            for (int i = 0; i < 8; ++i) {
                sum += v[2 * i][j] * kSynthesisWindowD[j + 64 * i];
                sum += v[2 * i + 1][32 + j] * kSynthesisWindowD[j + 64 * i + 32];
            }
            EXPECT_NEAR(out[j], sum * 32767, 0.5 + 1e-6) << "slot " << slot << " j " << j;
        }
        for (int k = 0; k < 32; ++k) s[k] *= -1.7;
    }
}

// Five times full scale, in the vector loops as in the scalar ones.
TEST(PolyphaseSynthesis, LoudSubbandsSaturateInsteadOfWrapping) {
    SynthesisState state;
    ClearSynthesis(state);
    double loud[32] = {};
    int16_t out[32];
    int highest = 0, lowest = 0;
    for (int slot = 0; slot < 18; ++slot) {
        loud[0] = slot % 2 ? -5.0 : 5.0;
        SynthesizeSlot(state, loud, out, 1);
        highest = std::max<int>(highest, *std::max_element(out, out + 32));
        lowest = std::min<int>(lowest, *std::min_element(out, out + 32));
    }
    EXPECT_EQ(highest, 32767);
    EXPECT_EQ(lowest, -32768);
}

}  // namespace
}  // namespace sonotrap::mp3
