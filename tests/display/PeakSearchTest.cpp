#include "display/PeakSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

TEST_F(PeakSearchTest, BandPeakInterpolatesInsideTheBandAndFallsBackToTheBin) {
    m[200] = m[201] = 0.3f;  // a plateau: no strict maximum, the lowest bin wins uninterpolated
    EXPECT_EQ(std::pair(Band(100, 1000).hz, Band(100, 1000).db), std::pair(200 * 1.953125f, PlainLevel(0.3f)));
    Peak(200, 0.6f);
    m[199] = 0.5f;  // pulls the interpolated frequency to bin 199.75
    const float low = 199.9f * 1.953125f;  // lowBin 199, so 200 is interior but 199.75 is outside
    EXPECT_EQ(std::pair(Band(low, 1000).hz, Band(low, 1000).db), std::pair(200 * 1.953125f, PlainLevel(0.6f)));
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
}

TEST_F(PeakSearchTest, LowestBandAndTheEdgesOfTheGrid) {
    // Bin 8 is 15.6 Hz: below C0's lower edge unless interpolation lifts it into band 0.
    Peak(8, 0.1f);
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_EQ(notes.peakOctave, -1);
    m[7] = 0.01f, m[8] = 0.1f, m[9] = 0.0424f;  // interpolates to about 16.35 Hz
    const InterpolatedPeak p = InterpolatePeak(m.data(), 8);
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_EQ(notes.bandLevel[0], p.db);
    EXPECT_STREQ(notes.octaveNote[0], "C0");

    // Above band 476 the walk ends; the loudest peak below it stays the result.
    std::fill(m.begin(), m.end(), 0.0f);
    Peak(1000, 0.05f);
    Peak(8180, 0.5f);  // 15977 Hz
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_NEAR(notes.peakHz, 1953.125f, 0.01f);

    // 1.0 and more reads -0.000001 dB but a hair less reads higher: the later, weaker peak wins.
    Peak(8000, 1.5f);
    Peak(8004, std::nextafter(1.0f, 0.0f));
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_NEAR(notes.peakHz, 8004 * 1.953125f, 0.01f);
}

TEST_F(PeakSearchTest, EveryOctaveKeepsItsLoudestPeak) {
    Peak(100, 0.2f);   // 195 Hz, octave 3
    Peak(300, 0.2f);   // 586 Hz, octave 5
    Peak(320, 0.3f);   // 625 Hz, octave 5, louder
    Peak(1100, 0.1f);  // 2148 Hz, octave 7
    LocateNotePeaks(m.data(), 2, 8191, notes);
    EXPECT_NEAR(notes.octavePeakHz[5], 625.0f, 0.01f);
    EXPECT_EQ(notes.octavePeakHz[6], 0.0f);
    EXPECT_EQ(notes.peakOctave, 5);
    EXPECT_EQ(std::count_if(std::begin(notes.bandLevel), std::end(notes.bandLevel), [](float l) { return l != 0.0f; }), 4);
}

}  // namespace
}  // namespace sonotrap
