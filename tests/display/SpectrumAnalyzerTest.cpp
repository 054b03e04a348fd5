#include "display/SpectrumAnalyzer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <tuple>
#include <vector>

namespace sonotrap {
namespace {

std::vector<int16_t> Sine(double hz, double amplitude, const std::vector<int16_t>& plus = {}) {
    std::vector<int16_t> block(SpectrumAnalyzer::kFftSize);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * M_PI * hz * i / 32000.0)) +
                                        (plus.empty() ? 0 : plus[i]));
    return block;
}

class AnalyzerTest : public ::testing::Test {
protected:
    PeakReading Analyze(const std::vector<int16_t>& block, float low, float high) {
        PeakReading reading = PeakReading::Band(low, high);
        analyzer.AnalyzeBlock(block.data(), reading, notes);
        return reading;
    }
    std::vector<float> Spectrum() const { return {analyzer.Magnitude(), analyzer.Magnitude() + kSpectrumBins}; }
    SpectrumAnalyzer analyzer;
    NotePeaks notes{};
};

TEST_F(AnalyzerTest, ReadingsOfSinesAndASquareWave) {
    std::vector<int16_t> square(SpectrumAnalyzer::kFftSize, 32767);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 16) % 2 ? -32767 : 32767;
    const struct {
        std::vector<int16_t> block;
        double hz, hzTolerance, db, dbTolerance;
    } cases[] = {
        {Sine(1000.0, 32767.0), 1000.0, 0.001, -1.51, 0.01},  // on a bin centre
        {Sine(440.0, 32767.0), 440.007, 0.001, -1.59, 0.01},  // between bins: interpolated
        {Sine(440.0, 3277.0), 440.007, 0.002, -21.6, 0.05},
        {square, 1000.0, 0.01, -0.000001f, 0.0},  // louder than full scale: clamped
    };
    for (const auto& c : cases) {
        const PeakReading r = Analyze(c.block, 0, 0);
        EXPECT_TRUE(std::abs(r.hz - c.hz) <= c.hzTolerance && std::abs(r.db - c.db) <= c.dbTolerance) << r.hz << " " << r.db;
    }
    // Bin 0 keeps the sign of the mean.
    Analyze(std::vector<int16_t>(SpectrumAnalyzer::kFftSize, -1000), 0, 0);
    EXPECT_NEAR(analyzer.Magnitude()[0], -1000.0 / 32768.0 * 0.42 * 2.0, 1e-4);
}

TEST_F(AnalyzerTest, BandsChooseThePeakAndEdgeBinsAreNotInterpolated) {
    const auto mix = Sine(440.0, 8000.0, Sine(1234.5, 16000.0));
    const PeakReading open = Analyze(mix, 0, 0);
    EXPECT_NEAR(open.hz, 1234.5, 0.05);
    EXPECT_EQ(open.hz, notes.peakHz);
    EXPECT_EQ(Analyze(mix, 16, 16000).hz, open.hz);
    EXPECT_EQ(Analyze(mix, 16.5f, 16000).db, open.db);  // off the default: the band search, same peak
    EXPECT_NEAR(Analyze(mix, 0, 600).hz, 440.0, 0.05);  // low 0 still limits the note search
    EXPECT_LT(Analyze(mix, 300, 600).db, open.db);

    const auto block = Sine(440.0, 32767.0);  // loudest in bin 225
    Analyze(block, 0, 0);
    const float bin225 = PlainLevel(analyzer.Magnitude()[225]);
    // A band's top or bottom bin reports the band's edge; a reversed band searches bins 2 to
    // 8191 (notes too) and reports the bin.
    for (auto [low, high, hz] : {std::tuple{300.0f, 440.0f, 440.0f}, {440.0f, 600.0f, 440.0f},
                                 {5000.0f, 100.0f, 225 * 1.953125f}}) {
        const PeakReading r = Analyze(block, low, high);
        EXPECT_EQ(std::pair(r.hz, r.db), std::pair(hz, bin225)) << low << "-" << high;
    }
    // Silence reads the floor: at 0 Hz in the default band and its equal, else the low edge.
    const std::vector<int16_t> zeros(SpectrumAnalyzer::kFftSize, 0);
    for (auto [low, high, hz] : {std::tuple{0.0f, 0.0f, 0.0f}, {16.0f, 16000.0f, 0.0f}, {300.0f, 3000.0f, 300.0f}}) {
        const PeakReading r = Analyze(zeros, low, high);
        EXPECT_EQ(std::pair(r.hz, r.db), std::pair(hz, kFloorDb)) << low;
    }
}

TEST_F(AnalyzerTest, DepthFourAveragesTheLastFourSpectraAndNormalizesOnlyThen) {
    const auto block = [](size_t b) { return Sine(500.0 + 100.0 * b, 4000.0 + 3000.0 * b); };
    std::vector<std::vector<float>> spectra;  // of single blocks
    for (int b = 0; b < 6; ++b) {
        Analyze(block(b), 0, 0);
        spectra.push_back(Spectrum());
    }
    const auto mean = [&](size_t newest, size_t count) {
        std::vector<float> m(kSpectrumBins);
        for (int k = 0; k < kSpectrumBins; ++k) {
            double sum = 0.0;
            for (size_t s = 0; s < count; ++s) sum += spectra[newest - s][k];  // newest first
            m[k] = static_cast<float>(sum / count);
        }
        return m;
    };
    analyzer.SetNormalize(true);  // no effect without averaging
    Analyze(block(0), 0, 0);
    EXPECT_EQ(Spectrum(), spectra[0]);
    EXPECT_FALSE(analyzer.SetAveragingDepth(17));
    analyzer.SetNormalize(false);
    ASSERT_TRUE(analyzer.SetAveragingDepth(4));
    for (size_t b = 0; b < 6; ++b) {
        Analyze(block(b), 0, 0);
        EXPECT_EQ(Spectrum(), mean(b, std::min<size_t>(b + 1, 4))) << "block " << b;
    }
    // A restart forgets the history; so does a change of depth.
    analyzer.ResetAveraging();
    Analyze(block(0), 0, 0);
    Analyze(block(1), 0, 0);
    EXPECT_EQ(Spectrum(), mean(1, 2));
    ASSERT_TRUE(analyzer.SetAveragingDepth(2));
    analyzer.SetNormalize(true);
    const PeakReading r = Analyze(block(5), 0, 0);
    EXPECT_EQ(std::pair(analyzer.Magnitude()[512], r.db), std::pair(1.0f, -0.000001f));  // 1000 Hz
    EXPECT_FLOAT_EQ(analyzer.Magnitude()[600], spectra[5][600] / spectra[5][512]);
}

// The dialog changes the averaging while blocks are analysed (run under ThreadSanitizer).
TEST_F(AnalyzerTest, SettingsMayChangeWhileBlocksAreAnalysed) {
    const auto block = Sine(440.0, 20000.0);
    std::atomic<bool> done{false};
    std::thread dialog([&] {
        for (uint32_t i = 0; !done.load(); ++i) {
            analyzer.SetAveragingDepth(1 + i % 16);
            analyzer.SetNormalize(i % 3 == 0);
            if (i % 5 == 0) analyzer.ResetAveraging();
        }
    });
    for (int b = 0; b < 30; ++b) EXPECT_NEAR(Analyze(block, 0, 0).hz, 440.0, 0.05);
    done = true;
    dialog.join();
}

}  // namespace
}  // namespace sonotrap
