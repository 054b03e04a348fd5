#include "display/BlockLevel.h"

#include <gtest/gtest.h>

#include <vector>

namespace sonotrap {
namespace {

TEST(BlockLevelTest, ExtremesStartAtZeroAndTheLargerSideDecidesTheDecibels) {
    std::vector<int16_t> block(kCaptureBlockSamples, 100);
    EXPECT_EQ(FindSampleExtremes(block.data()).lowest, 0);
    block[kCaptureBlockSamples - 1] = -32768;
    const SampleExtremes e = FindSampleExtremes(block.data());
    EXPECT_EQ(e.lowest, -32768);
    EXPECT_EQ(e.highest, 100);
    EXPECT_EQ(FindSampleExtremes(block.data(), kCaptureBlockSamples - 1).lowest, 0);  // the count is honoured
    // Positive peaks against 32767, negative against 32768; a tie goes to the positive side.
    const struct {
        int32_t lowest, highest;
        double db;
    } cases[] = {{0, 0, 0.0},       {0, 32767, 96.329466},   {-32768, 0, 96.329466},    {0, 1, 6.020732},
                 {-1, 0, 6.020467}, {-1000, 100, 66.020467}, {-1000, 1000, 66.020732}};
    for (const auto& c : cases)
        EXPECT_NEAR(BlockLevelDb(SampleExtremes{c.lowest, c.highest}), c.db, 1e-6) << c.lowest << " " << c.highest;
}

}  // namespace
}  // namespace sonotrap
