#include "mp3dec/PolyphaseSynthesis.h"

#include "mp3dec/Layer3Tables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace sonotrap::mp3 {
namespace {

TEST(PolyphaseSynthesis, RoundsHalfAwayFromZeroAndSaturates) {
    EXPECT_EQ(RoundToPcm(2.5), 3);
    EXPECT_EQ(RoundToPcm(-2.5), -3);
    EXPECT_EQ(RoundToPcm(2.4999), 2);
    EXPECT_EQ(RoundToPcm(-0.4), 0);
    EXPECT_EQ(RoundToPcm(32767.4), 32767);
    EXPECT_EQ(RoundToPcm(32767.6), 32767);
    EXPECT_EQ(RoundToPcm(1e9), 32767);
    EXPECT_EQ(RoundToPcm(-32768.4), -32768);
    EXPECT_EQ(RoundToPcm(-1e9), -32768);
}

// The standard's synthesis, written out directly, for one slot after a cleared history.
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

TEST(PolyphaseSynthesis, LoudSubbandsSaturateInsteadOfWrapping) {
    SynthesisState state;
    ClearSynthesis(state);
    double loud[32] = {};
    loud[0] = 5.0;  // five times full scale
    int16_t out[32];
    int highest = 0, lowest = 0;
    for (int slot = 0; slot < 18; ++slot) {
        loud[0] = slot % 2 ? -5.0 : 5.0;
        SynthesizeSlot(state, loud, out, 1);
        for (int16_t x : out) {
            highest = std::max<int>(highest, x);
            lowest = std::min<int>(lowest, x);
        }
    }
    EXPECT_EQ(highest, 32767);
    EXPECT_EQ(lowest, -32768);
}

}  // namespace
}  // namespace sonotrap::mp3
