#include "mp3dec/PolyphaseSynthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

namespace sonotrap::mp3 {
namespace {

TEST(PolyphaseSynthesis, RoundsHalfAwayFromZeroAndSaturates) {
    const std::pair<double, int> cases[] = {{2.5, 3},         {-2.5, -3},   {2.4999, 2},        {-0.4, 0},
                                            {32767.6, 32767}, {1e9, 32767}, {-32768.4, -32768}, {-1e9, -32768}};
    for (auto [sum, pcm] : cases) EXPECT_EQ(RoundToPcm(sum), pcm) << sum;
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
