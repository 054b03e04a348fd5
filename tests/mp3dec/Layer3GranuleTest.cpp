#include "mp3dec/Layer3Granule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "mp3dec/HuffmanTables.h"

namespace sonotrap::mp3 {
namespace {

// A long-block granule outside middle/side coding at global_gain 210 with zero scale factors:
// every factor is 1, so lines hold |value|^(4/3) with their signs.
GranuleInfo UnitGranule() {
    GranuleInfo g{};
    g.gainPosition = -210;
    for (int w = 0; w < 3; ++w) g.subblockGainPosition[w] = -210;
    g.region1start = g.region2start = 288;
    return g;
}

// Dequantises the granule's part 2 and 3 from the bytes, which must succeed.
ChannelGranule DecodeBits(std::vector<uint8_t> bytes, const GranuleInfo& g) {
    bytes.resize(64, 0);
    ChannelGranule c{};
    BitCursor cursor{bytes.data(), 0};
    EXPECT_TRUE(Dequantise(cursor, g.part2_3_length, g, 0, c));
    return c;
}

TEST(Layer3Dequantise, ACount1QuadrupleRunningPastTheEndIsDroppedNotAnOverrun) {
    const std::vector<uint8_t> w = {0x0A};  // table B: code 0000 = (1, 1, 1, 1), signs - + - +
    GranuleInfo g = UnitGranule();
    g.count1table_select = 1;
    g.part2_3_length = 6;  // the quadruple needs 8
    EXPECT_EQ(DecodeBits(w, g).nonzeroEnd, 0u);
    g.part2_3_length = 8;
    const ChannelGranule whole = DecodeBits(w, g);
    for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(whole.xr[i], i % 2 ? 1.0 : -1.0);
    EXPECT_EQ(whole.nonzeroEnd, 4u);
}

// Left carries 1.0 on every line, right is silent: intensity covers every band. In MPEG-2 the
// illegal position is the largest value of the band's field (2^slen - 1), in MPEG-1 it is 7.
TEST(Layer3Stereo, IntensityPositionsAndTheIllegalOne) {
    const FrameShape lsf{1, 2, 3, false}, mpeg1{0, 2, 0, false};
    const struct {
        const char* what;
        FrameShape shape;
        uint8_t position, illegal;
        int scalefacCompress;
        double left, right;
    } cases[] = {
        {"MPEG-2, 7 in a 4-bit field: odd positions scale the left", lsf, 7, 15, 0, 0.5, 1.0},
        {"MPEG-2, 7 in a 3-bit field is illegal", lsf, 7, 7, 0, 1.0, 0.0},
        {"MPEG-2, 15 in a 4-bit field is illegal", lsf, 15, 15, 0, 1.0, 0.0},
        {"MPEG-2, even positions scale the right, base 2^-1/2", lsf, 2, 15, 1, 1.0, std::sqrt(0.5)},
        {"MPEG-1, tan(pi/4): an even split", mpeg1, 3, 7, 0, 0.5, 0.5},
        {"MPEG-1, 7 is illegal", mpeg1, 7, 7, 0, 1.0, 0.0},
        {"MPEG-1, 9 (tan = -1) is outside 0 to 6: no division by zero", mpeg1, 9, 7, 0, 1.0, 0.0},
    };
    for (const auto& c : cases) {
        GranuleInfo g = UnitGranule();
        g.scalefac_compress = c.scalefacCompress;
        ChannelGranule l{}, r{};
        for (double& v : l.xr) v = 1.0;
        l.nonzeroEnd = 576;
        std::memset(r.scalefacLong, c.position, sizeof r.scalefacLong);
        std::memset(r.illegalLong, c.illegal, sizeof r.illegalLong);
        ProcessStereo(l, r, g, c.shape, 1);
        EXPECT_NEAR(l.xr[100], c.left, 1e-12) << c.what;
        EXPECT_NEAR(r.xr[100], c.right, 1e-12) << c.what;
    }
}

}  // namespace
}  // namespace sonotrap::mp3
