#include "display/PeakSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <vector>

#include "display/LevelScale.h"

namespace sonotrap {
namespace {

class PeakSearchTest : public ::testing::Test {
protected:
    // A lone symmetric peak: its interpolated frequency is exactly the bin's.
    void Peak(int k, float level, float neighbours = 0.5f) {
        m[k] = level;
        m[k - 1] = m[k + 1] = level * neighbours;
    }
    PeakReading Band(float low, float high) {
        PeakReading r = PeakReading::Band(low, high);
        FindBandPeak(m.data(), r);
        return r;
    }
    std::vector<float> m = std::vector<float>(kSpectrumBins, 0.0f);
    NotePeaks notes{};
};

TEST(LevelRuleTest, ClampsAtBothEnds) {
    for (auto [magnitude, db] : {std::pair{1.0, -0.000001f}, {7.5, -0.000001f}, {1.5258e-05, kFloorDb},
                                 {0.0, kFloorDb}, {-0.5, kFloorDb}, {0.5, -6.0206f}, {1.5259e-05, -96.33f}})
        EXPECT_NEAR(PlainLevel(magnitude), db, 0.01) << magnitude;
    EXPECT_EQ(PlainLevel(1.0), -0.000001f);
    EXPECT_EQ(PlainLevel(1.5258e-05), kFloorDb);
}

TEST(BandBinsTest, TruncatesRoundsAndFallsBack) {
    const struct {
        float low, high;
        int lowBin, highBin;
    } cases[] = {
        {16, 16000, 8, 8191},   // 8192 rounds to the last bin
        {0, 0, 2, 8191},     
        {300, 440, 153, 225},   // 153.6 truncated, 225.28 rounded
        {1000, 1000, 512, 512}, //
        {5000, 100, 2, 8191},   // reversed
        {20000, 30000, 2, 8191},  // above the spectrum
        {NAN, 1e38f, 2, 8191},
    };
    for (const auto& c : cases) {
        int lo = 0, hi = 0;
        BandBins(c.low, c.high, &lo, &hi);
        EXPECT_EQ(lo, c.lowBin) << c.low << "-" << c.high;
        EXPECT_EQ(hi, c.highBin) << c.low << "-" << c.high;
    }
}

TEST_F(PeakSearchTest, InterpolationLeansToTheLouderNeighbour) {
    Peak(100, 0.5f);
    InterpolatedPeak p = InterpolatePeak(m.data(), 100);
    EXPECT_EQ(p.hz, 100 * 1.953125f);
    EXPECT_EQ(p.db, PlainLevel(0.5));
    m[101] = 0.4f;
    p = InterpolatePeak(m.data(), 100);
    EXPECT_GT(p.hz, 100 * 1.953125f);
    EXPECT_LT(p.hz, 100.5 * 1.953125f);
    EXPECT_GT(p.db, PlainLevel(0.5));
}

TEST_F(PeakSearchTest, EqualMagnitudesGoToTheLowestBin) {
    m[200] = m[201] = 0.3f;  // a plateau: no strict maximum, so no interpolation
    const PeakReading r = Band(100, 1000);
    EXPECT_EQ(r.hz, 200 * 1.953125f);
    EXPECT_EQ(r.db, PlainLevel(0.3f));
}

TEST_F(PeakSearchTest, InterpolatedFrequencyOutsideTheBandFallsBackToTheBin) {
    Peak(200, 0.6f);
    m[199] = 0.5f;  // pulls the interpolated frequency below bin 200
    const float low = 199.9f * 1.953125f;  // lowBin 199, so 200 is interior; the peak interpolates to 199.75
    const PeakReading r = Band(low, 1000);
    EXPECT_EQ(r.hz, 200 * 1.953125f);
    EXPECT_EQ(r.db, PlainLevel(0.6f));
    const PeakReading wider = Band(300, 1000);
    EXPECT_LT(wider.hz, 200 * 1.953125f);
    EXPECT_GT(wider.db, PlainLevel(0.6f));
}

TEST_F(PeakSearchTest, NotesAreNamedOnlyAboveTheNoteThreshold) {
    // A4 is bin 225 (439.45 Hz), band 228: below the gate, between gate and note threshold, above.
    const struct {
        double db;
        bool kept;
        const char* note;
    } cases[] = {{-95.5, false, nullptr}, {-90.0, true, nullptr}, {-40.0, true, "A4"}};
    for (const auto& c : cases) {
        Peak(225, static_cast<float>(std::exp(c.db / kDbPerLn)), 0.999f);
        LocateNotePeaks(m.data(), 2, 8191, notes);
        EXPECT_EQ(notes.bandLevel[228] != 0.0f, c.kept) << c.db;
        EXPECT_EQ(notes.peakOctave, c.kept ? 4 : -1);
        EXPECT_STREQ(notes.octaveNote[4] ? notes.octaveNote[4] : "", c.note ? c.note : "");
        EXPECT_NEAR(notes.peakDb, c.kept ? c.db : kFloorDb, 0.1);
    }
    EXPECT_NEAR(notes.peakHz, 225 * 1.953125f, 0.01f);
}

TEST_F(PeakSearchTest, LowestBandAndTheEdgesOfTheGrid) {
    // Bin 8 is 15.6 Hz: below C0's lower edge unless interpolation lifts it into band 0.
    Peak(8, 0.1f);
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_EQ(notes.peakOctave, -1);

    m[7] = 0.01f, m[8] = 0.1f, m[9] = 0.0424f;  // interpolates to about 16.35 Hz
    const InterpolatedPeak p = InterpolatePeak(m.data(), 8);
    ASSERT_GE(p.hz, GetNoteBands().lowestEdge);
    ASSERT_LT(p.hz, GetNoteBands().bandEdge[1]);
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_EQ(notes.bandLevel[0], p.db);
    EXPECT_STREQ(notes.octaveNote[0], "C0");
    EXPECT_EQ(notes.peakHz, p.hz);
    EXPECT_EQ(notes.peakOctave, 0);

    // Above band 476 the walk ends; the loudest peak below it stays the result.
    std::fill(m.begin(), m.end(), 0.0f);
    Peak(1000, 0.05f);
    Peak(8180, 0.5f);  // 15977 Hz
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_NEAR(notes.peakHz, 1953.125f, 0.01f);
    EXPECT_NEAR(notes.peakDb, PlainLevel(0.05), 0.01);
}

TEST_F(PeakSearchTest, LevelJustBelowFullScaleBeatsAClampedLouderPeak) {
    // The level rule clamps 1.0 and more to -0.000001 dB but gives a hair less than 1.0 its
    // logarithm, which is higher: a later, weaker peak in the same band wins.
    Peak(8000, 1.5f);
    Peak(8004, std::nextafter(1.0f, 0.0f));
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_EQ(notes.peakDb, PlainLevel(std::nextafter(1.0f, 0.0f)));
    EXPECT_GT(notes.peakDb, -0.000001f);
    EXPECT_NEAR(notes.peakHz, 8004 * 1.953125f, 0.01f);
}

TEST_F(PeakSearchTest, EveryOctaveKeepsItsLoudestPeakInsideTheBand) {
    Peak(100, 0.2f);   // 195 Hz, octave 3
    Peak(300, 0.2f);   // 586 Hz, octave 5
    Peak(320, 0.3f);   // 625 Hz, octave 5, louder
    Peak(1100, 0.1f);  // 2148 Hz, octave 7
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_NEAR(notes.octavePeakHz[5], 625.0f, 0.01f);
    EXPECT_NEAR(notes.octavePeakHz[7], 2148.4375f, 0.01f);
    EXPECT_EQ(notes.octavePeakHz[6], 0.0f);
    EXPECT_EQ(notes.peakOctave, 5);
    EXPECT_EQ(std::count_if(std::begin(notes.bandLevel), std::end(notes.bandLevel), [](float l) { return l != 0.0f; }), 4);
    // Only bins inside the band are walked.
    for (auto [low, high, hz] : {std::tuple{150, 310, 300 * 1.953125f}, {50, 150, 100 * 1.953125f}, {300, 300, 0.0f}}) {
        LocateNotePeaks(m.data(), low, high, notes);
        EXPECT_NEAR(notes.peakHz, hz, 0.01f) << low << "-" << high;
        EXPECT_EQ(notes.peakOctave == -1, hz == 0.0f);
    }
}

}  // namespace
}  // namespace sonotrap
