#include "display/SpectrumAnalyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

namespace sonotrap {
namespace {

std::vector<int16_t> Sine(double hz, double amplitude, double phase = 0.0) {
    std::vector<int16_t> block(SpectrumAnalyzer::kFftSize);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<int16_t>(std::lround(amplitude * std::sin(2.0 * M_PI * hz * i / 32000.0 + phase)));
    return block;
}

std::vector<int16_t> Mix(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    std::vector<int16_t> sum(a.size());
    for (size_t i = 0; i < a.size(); ++i) sum[i] = static_cast<int16_t>(a[i] + b[i]);
    return sum;
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

std::vector<int16_t> Square1000() {
    std::vector<int16_t> square(SpectrumAnalyzer::kFftSize);
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 16) % 2 ? -32767 : 32767;
    return square;
}

TEST_F(AnalyzerTest, ReadingsOfSinesAndASquareWave) {
    const struct {
        std::vector<int16_t> block;
        int bin;
        double hz, hzTolerance, db, dbTolerance;
    } cases[] = {
        {Sine(1000.0, 32767.0), 512, 1000.0, 0.001, -1.51, 0.01},  // on a bin centre
        {Sine(440.0, 32767.0), 225, 440.007, 0.001, -1.59, 0.01},  // between bins: interpolated
        {Sine(440.0, 3277.0), 225, 440.007, 0.002, -21.6, 0.05},
        {Square1000(), 512, 1000.0, 0.01, -0.000001f, 0.0},  // louder than full scale: clamped
    };
    for (const auto& c : cases) {
        const PeakReading r = Analyze(c.block, 0, 0);
        EXPECT_EQ(LoudestBin(), c.bin) << c.hz;
        EXPECT_NEAR(r.hz, c.hz, c.hzTolerance);
        EXPECT_NEAR(r.db, c.db, c.dbTolerance) << c.hz;
    }
}

TEST_F(AnalyzerTest, SilenceReadsTheFloor) {
    const std::vector<int16_t> zeros(SpectrumAnalyzer::kFftSize, 0);
    // The default band and its equal read 0 Hz; a caller's band keeps its low edge.
    for (auto [low, high, hz] : {std::tuple{0.0f, 0.0f, 0.0f}, {16.0f, 16000.0f, 0.0f}, {300.0f, 3000.0f, 300.0f}}) {
        const PeakReading r = Analyze(zeros, low, high);
        EXPECT_EQ(r.hz, hz) << low;
        EXPECT_EQ(r.db, kFloorDb);
    }
    EXPECT_FLOAT_EQ(kFloorDb, -96.32947f);
    EXPECT_EQ(notes.peakOctave, -1);
    for (float level : notes.bandLevel) EXPECT_EQ(level, 0.0f);
}

TEST_F(AnalyzerTest, BandsChooseThePeak) {
    const auto block = Mix(Sine(440.0, 8000.0), Sine(1234.5, 16000.0));
    const PeakReading open = Analyze(block, 0, 0);
    const PeakReading standard = Analyze(block, 16, 16000);
    EXPECT_EQ(open.hz, standard.hz);
    EXPECT_EQ(open.db, standard.db);
    EXPECT_EQ(open.hz, notes.peakHz);
    EXPECT_NEAR(open.hz, 1234.5, 0.05);
    // Low 0 with a high edge still limits the note search to the band.
    EXPECT_NEAR(Analyze(block, 0, 600).hz, 440.0, 0.05);
    // An edge off the default by a little goes through the band search: the same peak here.
    const PeakReading near = Analyze(block, 16.5f, 16000);
    EXPECT_EQ(near.hz, standard.hz);
    EXPECT_EQ(near.db, standard.db);
    const PeakReading quieter = Analyze(block, 300, 600);
    EXPECT_NEAR(quieter.hz, 440.0, 0.05);
    EXPECT_LT(quieter.db, Analyze(block, 1000, 1500).db);
}

TEST_F(AnalyzerTest, EdgeBinsAndReversedBandsAreNotInterpolated) {
    const auto block = Sine(440.0, 32767.0);  // loudest in bin 225
    const PeakReading interior = Analyze(block, 0, 0);
    const float bin225 = PlainLevel(analyzer.Magnitude()[225]);
    EXPECT_LT(bin225, interior.db);
    // A band's top or bottom bin reports the band's edge; a reversed band searches bins 2 to
    // 8191 (notes too) and reports the bin.
    for (auto [low, high, hz] : {std::tuple{300.0f, 440.0f, 440.0f}, {440.0f, 600.0f, 440.0f},
                                 {5000.0f, 100.0f, 225 * 1.953125f}}) {
        const PeakReading r = Analyze(block, low, high);
        EXPECT_EQ(r.hz, hz) << low << "-" << high;
        EXPECT_EQ(r.db, bin225) << low << "-" << high;
    }
    EXPECT_STREQ(notes.octaveNote[4], "A4");
    // Nonsense edges fall back the same way instead of overflowing the bin range.
    EXPECT_NEAR(Analyze(block, -50.0f, 1e30f).hz, 440.0, 0.05);
}

TEST_F(AnalyzerTest, BinZeroKeepsTheSignOfTheMean) {
    const std::vector<int16_t> negative(SpectrumAnalyzer::kFftSize, -1000);
    Analyze(negative, 0, 0);
    EXPECT_NEAR(analyzer.Magnitude()[0], -1000.0 / 32768.0 * 0.42 * 2.0, 1e-4);
}

TEST_F(AnalyzerTest, NoteOfAnOctaveFollowsItsLoudestPeak) {
    Analyze(Mix(Sine(440.0, 12000.0), Sine(452.0, 3000.0)), 0, 0);
    EXPECT_GT(notes.bandLevel[228], notes.bandLevel[230]);
    EXPECT_NE(notes.bandLevel[230], 0.0f);
    EXPECT_STREQ(notes.octaveNote[4], "A4");
    EXPECT_EQ(notes.peakOctave, 4);

    Analyze(Mix(Sine(440.0, 3000.0), Sine(452.0, 12000.0)), 0, 0);
    EXPECT_NE(notes.bandLevel[228], 0.0f);
    EXPECT_EQ(notes.octaveNote[4], nullptr);  // band 230 is between notes
    EXPECT_NEAR(notes.octavePeakHz[4], 452.0, 0.1);
    for (int octave : {0, 1, 2, 3, 5, 6, 7, 8, 9}) EXPECT_EQ(notes.octaveNote[octave], nullptr);
}

TEST_F(AnalyzerTest, WindowIsAScaledBlackmanWithoutZeroEnds) {
    const double* w = analyzer.Window();
    EXPECT_GT(w[0], 0.0);
    EXPECT_NEAR(w[8191], 1.0 / 32768.0, 1e-12);
    for (int i = 0; i < SpectrumAnalyzer::kFftSize; i += 97) EXPECT_NEAR(w[i], w[SpectrumAnalyzer::kFftSize - 1 - i], 1e-16);
}

// Spectra of single blocks, from an analyser that never averages.
std::vector<std::vector<float>> PlainSpectra(const std::vector<std::vector<int16_t>>& blocks) {
    SpectrumAnalyzer plain;
    NotePeaks notes{};
    std::vector<std::vector<float>> spectra;
    for (const auto& block : blocks) {
        PeakReading r{};
        plain.AnalyzeBlock(block.data(), r, notes);
        spectra.emplace_back(plain.Magnitude(), plain.Magnitude() + kSpectrumBins);
    }
    return spectra;
}

std::vector<float> Mean(const std::vector<std::vector<float>>& spectra, size_t newest, size_t count) {
    std::vector<float> mean(kSpectrumBins);
    for (int k = 0; k < kSpectrumBins; ++k) {
        double sum = 0.0;
        for (size_t s = 0; s < count; ++s) sum += spectra[newest - s][k];  // newest first
        mean[k] = static_cast<float>(sum / count);
    }
    return mean;
}

std::vector<float> Spectrum(const SpectrumAnalyzer& a) { return {a.Magnitude(), a.Magnitude() + kSpectrumBins}; }

TEST_F(AnalyzerTest, DepthFourAveragesTheLastFourSpectra) {
    std::vector<std::vector<int16_t>> blocks;
    for (int b = 0; b < 6; ++b) blocks.push_back(Sine(500.0 + 100.0 * b, 4000.0 + 3000.0 * b));
    const auto spectra = PlainSpectra(blocks);
    EXPECT_FALSE(analyzer.SetAveragingDepth(0));  // depths outside 1..16 are refused
    EXPECT_FALSE(analyzer.SetAveragingDepth(17));
    EXPECT_EQ(analyzer.GetAveragingDepth(), 1u);
    ASSERT_TRUE(analyzer.SetAveragingDepth(4));
    for (size_t b = 0; b < blocks.size(); ++b) {
        Analyze(blocks[b], 0, 0);
        EXPECT_EQ(Spectrum(analyzer), Mean(spectra, b, std::min<size_t>(b + 1, 4))) << "block " << b;
    }
    // A restart forgets the history; so does a change of depth.
    analyzer.ResetAveraging();
    Analyze(blocks[0], 0, 0);
    EXPECT_EQ(Spectrum(analyzer), spectra[0]);
    Analyze(blocks[1], 0, 0);
    EXPECT_EQ(Spectrum(analyzer), Mean(spectra, 1, 2));
    ASSERT_TRUE(analyzer.SetAveragingDepth(2));
    Analyze(blocks[2], 0, 0);
    EXPECT_EQ(Spectrum(analyzer), spectra[2]);
    EXPECT_TRUE(analyzer.SetAveragingDepth(16));
}

TEST_F(AnalyzerTest, NormalizeActsOnlyWhileAveraging) {
    const auto block = Sine(1000.0, 10000.0);
    const auto plain = PlainSpectra({block})[0];
    analyzer.SetNormalize(true);
    EXPECT_TRUE(analyzer.GetNormalize());
    PeakReading r = Analyze(block, 0, 0);
    EXPECT_EQ(Spectrum(analyzer), plain);
    EXPECT_LT(r.db, -10.0f);

    ASSERT_TRUE(analyzer.SetAveragingDepth(2));
    r = Analyze(block, 0, 0);
    EXPECT_EQ(analyzer.Magnitude()[512], 1.0f);
    EXPECT_EQ(r.db, -0.000001f);
    EXPECT_FLOAT_EQ(analyzer.Magnitude()[600], plain[600] / plain[512]);

    analyzer.SetNormalize(false);
    Analyze(block, 0, 0);
    EXPECT_EQ(Spectrum(analyzer), plain);  // the mean of two equal spectra
}

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
    for (int b = 0; b < 60; ++b) {
        const PeakReading r = Analyze(block, 0, 0);
        EXPECT_NEAR(r.hz, 440.0, 0.05);
        EXPECT_LE(r.db, -0.000001f);
        EXPECT_GE(r.db, kFloorDb);
    }
    done = true;
    dialog.join();
}

}  // namespace
}  // namespace sonotrap
