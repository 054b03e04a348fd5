#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>

#include "mp3enc/HuffmanBitCount.h"
#include "mp3enc/HuffmanTables.h"
#include "mp3enc/Quantizer.h"
#include "mp3enc/RateControl.h"
#include "mp3enc/ScalefactorBands.h"

namespace sonotrap::mp3enc {
namespace {

const int* Bands32k() { return kLongBandBoundaries[1 * 3 + 2]; }

TEST(EncoderRateControl, GlobalGainOffsetsTheStepBy210) {
    EXPECT_EQ(GlobalGain(-20.0), 190);
    EXPECT_EQ(GlobalGain(-70.0), 140);
    EXPECT_EQ(GlobalGain(45.0), 255);
}

TEST(EncoderRateControl, StartStepFollowsSpectralFlatness) {
    double x[576] = {};
    EXPECT_EQ(StartStep(x), -70);  // silence
    for (double& v : x) v = 0.25;
    EXPECT_EQ(StartStep(x), -70);  // perfectly flat
    for (int i = 0; i < 576; ++i) x[i] = i % 2 ? 1e-3 : 1.0;
    // ln(GM/AM) = ln(1e-3 / 0.5000005): n = round(8 * -6.21) = -50.
    EXPECT_EQ(StartStep(x), -50 - 70);
    for (int i = 0; i < 576; ++i) x[i] = i == 10 ? 1.0 : 1e-9;
    EXPECT_EQ(StartStep(x), -170);  // tonal: clamped at -100
}

// Zero lines in the average could push the start above any usable step; a lone quiet line
// after digital silence must still be coded, with a gain that fits its 8 bits.
TEST(EncoderRateControl, QuietLineAfterSilenceIsNotQuantisedAway) {
    double x[576] = {};
    x[40] = 1e-4;
    EXPECT_EQ(StartStep(x), -70);
    double spectrum[2][2][576] = {};
    spectrum[0][0][40] = 1e-4;
    QuantisedFrame q = {};
    SideInfo side;
    RateControl rc;
    rc.Initialise(5, 1);
    rc.QuantiseFrame(spectrum, q, side, 1068);
    EXPECT_GT(q[0][0][40], 0);
    EXPECT_LE(side.granules[0][0].globalGain, 255);
}

TEST(EncoderRateControl, EveryLineIsQuantisedAfreshEvenWhenFarAboveTheStep) {
    double x[576] = {};
    x[3] = 0.3;
    x[7] = -0.001;
    PoweredLines lines;
    lines.From(x);
    int q[576];
    std::fill(q, q + 576, 9);
    ASSERT_EQ(QuantiseLines(lines, -20, q), 5);  // (0.3 / 2^-5)^0.75 = 5.45
    EXPECT_EQ(q[3], 5);
    EXPECT_EQ(q[7], 0);  // (0.001 * 32)^0.75 = 0.075
    EXPECT_EQ(q[100], 0);
    // A much finer step: the ratio is far above 10000, the magnitude must grow with it.
    const int largest = QuantiseLines(lines, -120, q);
    EXPECT_EQ(q[3], largest);
    EXPECT_EQ(LargestMagnitudeAt(lines, -120), largest);
    EXPECT_GT(largest, kLargestCodableMagnitude);
    EXPECT_EQ(q[7], static_cast<int>(std::pow(0.001 / std::pow(2.0, -30), 0.75)));
}

TEST(EncoderRateControl, LoudGranulesFitTheirLimitAndTheFrameIsFull) {
    double spectrum[2][2][576];
    uint32_t seed = 3;
    for (int gr = 0; gr < 2; ++gr) {
        for (double& v : spectrum[gr][0]) {
            seed = seed * 1664525u + 1013904223u;
            v = ((seed >> 8) / 8388608.0 - 1.0) * 0.8;
        }
    }
    QuantisedFrame q = {};
    SideInfo side;
    RateControl rc;
    rc.Initialise(5, 1);
    rc.QuantiseFrame(spectrum, q, side, 1068);
    const GranuleInfo& g1 = side.granules[1][0];
    EXPECT_LE(g1.part23Length, 1068);
    EXPECT_GT(g1.part23Length, 800);  // the search lands close to the limit
    GranuleInfo recount;
    EXPECT_EQ(CountGranuleBits(q[1][0], Bands32k(), recount), g1.part23Length);
    EXPECT_EQ(g1.globalGain, GlobalGain(g1.quantiserStep));
    // Stuffing rounds granule 0 up so both fill the 2136 bits (a few odd bits may go after them).
    const int total = side.granules[0][0].part23Length + g1.part23Length;
    EXPECT_LE(total, 2136);
    EXPECT_GE(total, 2133);
}

TEST(EncoderRegionLengths, TrailingZerosThenQuadruplesThenBigValues) {
    int q[576] = {};
    q[0] = 3;
    q[5] = 1;
    q[9] = 1;
    q[10] = 0;
    GranuleInfo g;
    FindRegionLengths(q, g);
    // Lines 0..9 remain; quadruples 6..9 and 2..5 hold magnitudes <= 1; the pair 0..1 has the 3.
    EXPECT_EQ(g.count1, 2);
    EXPECT_EQ(g.bigValues, 1);
}

struct SubdivisionCase {
    int bigValues, region0, region1, region1Start, region2Start;
};

TEST(EncoderRegionLengths, SubdivisionAlongTheBands) {
    const SubdivisionCase cases[] = {
        {3, 0, 0, 4, 8}, {10, 0, 1, 4, 12}, {13, 1, 1, 8, 16}, {100, 4, 6, 20, 82}, {288, 6, 7, 30, 156},
    };
    for (const SubdivisionCase& c : cases) {
        GranuleInfo g;
        g.bigValues = c.bigValues;
        SubdivideBigValues(Bands32k(), g);
        EXPECT_EQ(g.region0Count, c.region0) << c.bigValues;
        EXPECT_EQ(g.region1Count, c.region1) << c.bigValues;
        EXPECT_EQ(g.region1Start, c.region1Start) << c.bigValues;
        EXPECT_EQ(g.region2Start, c.region2Start) << c.bigValues;
        EXPECT_EQ(g.bigValuesEnd, 2 * c.bigValues);
    }
    GranuleInfo none;
    SubdivideBigValues(Bands32k(), none);
    EXPECT_EQ(none.region0Count + none.region1Count + none.region1Start + none.region2Start, 0);
}

// A region that starts beyond the big-values end must not count the count1 lines above it.
TEST(EncoderRegionLengths, BitsStopAtTheBigValuesEnd) {
    int q[576] = {};
    q[0] = 2;
    q[6] = 1;
    GranuleInfo g;
    const int bits = CountGranuleBits(q, Bands32k(), g);
    ASSERT_EQ(g.bigValues, 2);
    ASSERT_EQ(g.region2Start, 8);  // beyond the end at 4
    int region0 = 0;
    ChooseRegionTable(q, 0, 4, &region0);
    EXPECT_EQ(bits, region0 + Count1Bits(q, 4, 1, g.count1TableSelect ? kCount1TableB : kCount1TableA));
    EXPECT_EQ(g.tableSelect[1], 0);
}

TEST(EncoderTableChoice, EqualCount1TotalsChooseTableB) {
    int q[8] = {0, 0, 0, 1};  // A: 4 + 1 sign, B: 4 + 1 sign
    int select = -1;
    EXPECT_EQ(ChooseCount1Table(q, 0, 1, &select), 5);
    EXPECT_EQ(select, 1);
    int zeros[8] = {};  // A: 1 bit per zero quadruple, B: 4
    EXPECT_EQ(ChooseCount1Table(zeros, 0, 2, &select), 2);
    EXPECT_EQ(select, 0);
    EXPECT_EQ(ChooseCount1Table(zeros, 0, 0, &select), 0);
    EXPECT_EQ(select, 1);
}

// Leftover bits go to the granule given, up to what part2_3_length's 12 bits can hold.
TEST(EncoderStuffing, LeftoverGoesToTheGranuleWithinTwelveBits) {
    for (auto [length, leftover, expected] : {std::tuple{1000, 236, 1236}, {3000, 2000, 4095}}) {
        GranuleInfo g;
        g.part23Length = length;
        g.count1TableSelect = 0;
        PlaceStuffing(nullptr, g, leftover);
        EXPECT_EQ(g.part23Length, expected);
    }
}

// Stuffing is read as count1 quadruples: behind table B a run that is not whole 4-bit codes
// would end inside a code, so the granule switches to table A when that costs nothing, and
// otherwise leaves the odd bits outside the granule.
TEST(EncoderStuffing, RunsBehindTableBNeverEndInsideACode) {
    const struct {
        const char* what;
        int ones, leftover, select, added;
    } cases[] = {
        {"(0,0,1,0) costs 5 bits in either table: switch to A", 1, 6, 0, 6},
        {"five (1,1,1,1) cost 2 bits more each in A: odd bits stay out", 20, 7, 1, 4},
        {"whole zero quadruples read cleanly behind B", 20, 8, 1, 8},
    };
    for (const auto& c : cases) {
        int q[576] = {};
        for (int i = 0; i < c.ones; ++i) q[c.ones == 1 ? 2 : i] = 1;
        GranuleInfo g;
        const int bits = CountGranuleBits(q, Bands32k(), g);
        ASSERT_EQ(g.count1, (c.ones + 3) / 4) << c.what;
        ASSERT_EQ(g.count1TableSelect, 1) << c.what;
        g.part23Length = bits;
        PlaceStuffing(q, g, c.leftover);
        EXPECT_EQ(g.count1TableSelect, c.select) << c.what;
        EXPECT_EQ(g.part23Length, bits + c.added) << c.what;
    }
}

}  // namespace
}  // namespace sonotrap::mp3enc
