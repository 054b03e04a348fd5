#include <gtest/gtest.h>

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
        EXPECT_EQ(std::tie(g.region0Count, g.region1Count, g.region1Start, g.region2Start),
                  std::tie(c.region0, c.region1, c.region1Start, c.region2Start)) << c.bigValues;
        EXPECT_EQ(g.bigValuesEnd, 2 * c.bigValues);
    }
    GranuleInfo none;
    SubdivideBigValues(Bands32k(), none);
    EXPECT_EQ(none.region0Count + none.region1Count + none.region1Start + none.region2Start, 0);
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
