#include "display/BlockLevel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace sonotrap {
namespace {

TEST(BlockLevelTest, ExtremesStartAtZero) {
    std::vector<int16_t> block(kCaptureBlockSamples, 100);
    SampleExtremes e = FindSampleExtremes(block.data());
    EXPECT_EQ(e.lowest, 0);
    EXPECT_EQ(e.highest, 100);
    block[kCaptureBlockSamples - 1] = -32768;
    block[0] = 32767;
    e = FindSampleExtremes(block.data());
    EXPECT_EQ(e.lowest, -32768);
    EXPECT_EQ(e.highest, 32767);
    e = FindSampleExtremes(block.data(), kCaptureBlockSamples - 1);  // the count is honoured
    EXPECT_EQ(e.lowest, 0);
}

TEST(BlockLevelTest, DecibelsAboveTheSixteenBitFloor) {
    EXPECT_EQ(BlockLevelDb(0, 0), 0.0);
    EXPECT_NEAR(BlockLevelDb(0, 32767), 96.33, 0.005);
    EXPECT_NEAR(BlockLevelDb(-32768, 0), 96.33, 0.005);
    EXPECT_NEAR(BlockLevelDb(0, 1), 6.02, 0.005);
    EXPECT_NEAR(BlockLevelDb(-1, 0), 6.02, 0.005);
    // The larger side decides; a tie goes to the positive formula.
    EXPECT_NEAR(BlockLevelDb(-100, 1000), BlockLevelDb(0, 1000), 1e-12);
    EXPECT_NEAR(BlockLevelDb(-1000, 100), BlockLevelDb(-1000, 0), 1e-12);
    EXPECT_NEAR(BlockLevelDb(-1000, 1000), 20.0 * std::log10(1000 / 32767.0) + 96.32946607530499, 1e-12);
    SampleExtremes e{-16384, 8};
    EXPECT_NEAR(BlockLevelDb(e), 90.31, 0.005);
}

}  // namespace
}  // namespace sonotrap
