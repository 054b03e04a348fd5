#include "display/SpectrumAnalyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace sonotrap {
namespace {

std::vector<int16_t> Sine(double hz, double amplitude, double phase = 0.0) {
    std::vector<int16_t> block(SpectrumAnalyzer::kFftSize);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * M_PI * hz * i / 32000.0 + phase)));
    return block;
}


class AnalyzerTest : public ::testing::Test {
protected:
    PeakReading Analyze(const std::vector<int16_t>& block, float low, float high) {
        PeakReading reading = PeakReading::Band(low, high);
        analyzer.AnalyzeBlock(block.data(), reading, notes);
        return reading;
    }
    int LoudestBin() const {
        const float* m = analyzer.Magnitude();
        int best = 1;
        for (int k = 1; k < kSpectrumBins; ++k)
            if (m[k] > m[best]) best = k;
        return best;
    }
    SpectrumAnalyzer analyzer;
    NotePeaks notes{};
};

TEST_F(AnalyzerTest, FullScaleSineOnABinCentre) {
    const PeakReading r = Analyze(Sine(1000.0, 32767.0), 0, 0);
    EXPECT_EQ(LoudestBin(), 512);
    EXPECT_NEAR(r.hz, 1000.0, 0.001);
    EXPECT_NEAR(r.db, -1.51, 0.01);
}

TEST_F(AnalyzerTest, SineBetweenBinsIsInterpolated) {
    const PeakReading r = Analyze(Sine(440.0, 32767.0), 0, 0);
    EXPECT_EQ(LoudestBin(), 225);
    EXPECT_NEAR(r.hz, 440.007, 0.001);
    EXPECT_NEAR(r.db, -1.59, 0.01);
    const PeakReading quiet = Analyze(Sine(440.0, 3277.0), 0, 0);
    EXPECT_NEAR(quiet.hz, 440.007, 0.002);
    EXPECT_NEAR(quiet.db, -21.6, 0.05);
}

}  // namespace
}  // namespace sonotrap
