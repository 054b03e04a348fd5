#include "mp3dec/Layer3Granule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "mp3dec/BitWriter.h"
#include "mp3dec/DecoderTables.h"
#include "mp3dec/HuffmanTables.h"
#include "mp3dec/HybridSynthesis.h"

namespace sonotrap::mp3 {
namespace {

using test::BitWriter;

// A long-block granule outside middle/side coding at global_gain 210 with zero scale factors:
// every factor is 1, so lines hold |value|^(4/3) with their signs.
GranuleInfo UnitGranule() {
    GranuleInfo g{};
    g.gainPosition = -210;
    for (int w = 0; w < 3; ++w) g.subblockGainPosition[w] = -210;
    g.region1start = g.region2start = 288;
    return g;
}

ChannelGranule ZeroChannel() {
    ChannelGranule c;
    std::memset(&c, 0, sizeof c);
    return c;
}

void PutPair(BitWriter& w, int table, uint32_t x, uint32_t y) {
    const HuffmanTableInfo& info = kBigValueTables[table];
    const uint32_t cx = std::min<uint32_t>(x, 15), cy = std::min<uint32_t>(y, 15);
    const HuffmanCode& code = info.codes[cx * info.ylen + cy];
    w.Put(code.code, code.length);
    if (info.linbits && cx == 15) w.Put(x - 15, info.linbits);
    if (x) w.Put(0, 1);
    if (info.linbits && cy == 15) w.Put(y - 15, info.linbits);
    if (y) w.Put(1, 1);  // y negative
}

struct Decoded {
    bool ok;
    ChannelGranule channel;
};

Decoded DecodeBits(const BitWriter& w, const GranuleInfo& g) {
    const std::vector<uint8_t> bytes = w.Bytes(64);
    Decoded d{false, ZeroChannel()};
    BitCursor cursor{bytes.data(), 0};
    d.ok = Dequantise(cursor, g.part2_3_length, g, 0, d.channel);
    return d;
}

TEST(Layer3Dequantise, MapsValuesThroughTheFourThirdsPower) {
    BitWriter w;
    PutPair(w, 1, 1, 0);
    PutPair(w, 16, 8, 1);
    PutPair(w, 24, 0, 20);  // escape: 15 + 4 linbits
    GranuleInfo g = UnitGranule();
    g.big_values = 3;
    g.table_select[0] = 1;
    g.region1start = 1;
    g.table_select[1] = 16;
    g.region2start = 2;
    g.table_select[2] = 24;
    g.part2_3_length = w.BitCount();
    const Decoded d = DecodeBits(w, g);
    ASSERT_TRUE(d.ok);
    EXPECT_DOUBLE_EQ(d.channel.xr[0], 1.0);
    EXPECT_DOUBLE_EQ(d.channel.xr[1], 0.0);
    EXPECT_NEAR(d.channel.xr[2], 16.0, 1e-12);
    EXPECT_DOUBLE_EQ(d.channel.xr[3], -1.0);
    EXPECT_NEAR(d.channel.xr[5], -std::pow(20.0, 4.0 / 3.0), 1e-9);
    EXPECT_EQ(d.channel.nonzeroEnd, 6u);
}

TEST(Layer3Dequantise, GainAndScaleFactorsScaleTheLines) {
    BitWriter w;
    PutPair(w, 1, 1, 1);
    GranuleInfo g = UnitGranule();
    g.big_values = 1;
    g.table_select[0] = 1;
    g.gainPosition = -214;  // global_gain 214: 2^(4/4)
    g.part2_3_length = w.BitCount();
    Decoded d = DecodeBits(w, g);
    EXPECT_DOUBLE_EQ(d.channel.xr[0], 2.0);
    // Scale factor 1 at scalefac_scale 0 halves the power: factor 2^(-1/2).
    std::vector<uint8_t> bytes = w.Bytes(64);
    ChannelGranule c = ZeroChannel();
    c.scalefacLong[0] = 1;
    BitCursor cursor{bytes.data(), 0};
    ASSERT_TRUE(Dequantise(cursor, g.part2_3_length, g, 0, c));
    EXPECT_NEAR(c.xr[0], 2.0 / std::sqrt(2.0), 1e-12);
}

TEST(Layer3Dequantise, ACount1QuadrupleRunningPastTheEndIsDroppedNotAnOverrun) {
    BitWriter w;
    w.Put(0, 4);     // table B: code 0000 = (1, 1, 1, 1)
    w.Put(0xA, 4);   // signs - + - +
    GranuleInfo g = UnitGranule();
    g.count1table_select = 1;
    g.part2_3_length = 6;  // the quadruple needs 8
    Decoded cut = DecodeBits(w, g);
    EXPECT_TRUE(cut.ok);
    EXPECT_EQ(cut.channel.nonzeroEnd, 0u);
    g.part2_3_length = 8;
    Decoded whole = DecodeBits(w, g);
    ASSERT_TRUE(whole.ok);
    EXPECT_DOUBLE_EQ(whole.channel.xr[0], -1.0);
    EXPECT_DOUBLE_EQ(whole.channel.xr[1], 1.0);
    EXPECT_DOUBLE_EQ(whole.channel.xr[2], -1.0);
    EXPECT_DOUBLE_EQ(whole.channel.xr[3], 1.0);
    EXPECT_EQ(whole.channel.nonzeroEnd, 4u);
}

TEST(Layer3Dequantise, BigValuesPastPart23LengthAreAnOverrun) {
    BitWriter w;
    PutPair(w, 16, 8, 9);
    PutPair(w, 16, 8, 9);
    GranuleInfo g = UnitGranule();
    g.big_values = 2;
    g.table_select[0] = 16;
    g.part2_3_length = w.BitCount() - 3;
    EXPECT_FALSE(DecodeBits(w, g).ok);
}

TEST(Layer3Dequantise, LinesBeyond576AreNeverWritten) {
    BitWriter w;
    for (int i = 0; i < 200; ++i) w.Put(0, 1);  // table A: "1" is (0,0,0,0); zeros are junk
    GranuleInfo g = UnitGranule();
    g.big_values = 288;  // all 576 lines in big values, table 0: zeros, no bits
    g.part2_3_length = 200;
    EXPECT_TRUE(DecodeBits(w, g).ok);
}

FrameShape Lsf() { return FrameShape{1, 2, 3, false}; }
FrameShape Mpeg1() { return FrameShape{0, 2, 0, false}; }

// Left carries 1.0 on every line; right is silent, so intensity covers every band.
void IntensityPair(ChannelGranule& l, ChannelGranule& r, uint8_t position, uint8_t illegal) {
    l = ZeroChannel();
    r = ZeroChannel();
    for (double& v : l.xr) v = 1.0;
    l.nonzeroEnd = 576;
    std::memset(r.scalefacLong, position, sizeof r.scalefacLong);
    std::memset(r.illegalLong, illegal, sizeof r.illegalLong);
}

TEST(Layer3Stereo, Mpeg2IllegalIntensityPositionIsTheLargestFieldValue) {
    GranuleInfo g = UnitGranule();
    ChannelGranule l, r;
    // Position 7 in a 4-bit field is legal: odd positions scale the left channel.
    IntensityPair(l, r, 7, 15);
    ProcessStereo(l, r, g, Lsf(), 1);
    EXPECT_NEAR(l.xr[100], std::pow(2.0, -1.0), 1e-12);  // base 2^-1/4, to the 4th
    EXPECT_DOUBLE_EQ(r.xr[100], 1.0);
    // Position 7 in a 3-bit field is the illegal one: the band stays as coded.
    IntensityPair(l, r, 7, 7);
    ProcessStereo(l, r, g, Lsf(), 1);
    EXPECT_DOUBLE_EQ(l.xr[100], 1.0);
    EXPECT_DOUBLE_EQ(r.xr[100], 0.0);
    // Position 15 in a 4-bit field too.
    IntensityPair(l, r, 15, 15);
    ProcessStereo(l, r, g, Lsf(), 1);
    EXPECT_DOUBLE_EQ(r.xr[100], 0.0);
    // Even positions scale the right channel; intensity_scale 1 uses base 2^-1/2.
    IntensityPair(l, r, 2, 15);
    g.scalefac_compress = 1;
    ProcessStereo(l, r, g, Lsf(), 1);
    EXPECT_DOUBLE_EQ(l.xr[100], 1.0);
    EXPECT_NEAR(r.xr[100], std::sqrt(0.5), 1e-12);
}

TEST(Layer3Stereo, Mpeg1IntensityUsesTangentRatiosAndSkipsPosition7) {
    GranuleInfo g = UnitGranule();
    ChannelGranule l, r;
    IntensityPair(l, r, 3, 7);  // tan(pi/4) = 1: an even split
    ProcessStereo(l, r, g, Mpeg1(), 1);
    EXPECT_NEAR(l.xr[10], 0.5, 1e-12);
    EXPECT_NEAR(r.xr[10], 0.5, 1e-12);
    IntensityPair(l, r, 7, 7);
    ProcessStereo(l, r, g, Mpeg1(), 1);
    EXPECT_DOUBLE_EQ(l.xr[10], 1.0);
    EXPECT_DOUBLE_EQ(r.xr[10], 0.0);
}

TEST(Layer3Stereo, IntensityStartsAboveTheRightChannelsLastNonZeroBand) {
    GranuleInfo g = UnitGranule();
    ChannelGranule l, r;
    IntensityPair(l, r, 3, 7);
    r.xr[50] = 2.0;  // long band 11 at 44.1 kHz (lines 44..51)
    r.nonzeroEnd = 51;
    ProcessStereo(l, r, g, Mpeg1(), 1);
    EXPECT_DOUBLE_EQ(l.xr[51], 1.0);  // still band 11
    EXPECT_NEAR(l.xr[52], 0.5, 1e-12);  // band 12
    EXPECT_EQ(l.nonzeroEnd, 576u);
    EXPECT_EQ(r.nonzeroEnd, 576u);
}

TEST(Layer3Stereo, MiddleSideWithASilentSideGivesEqualChannels) {
    GranuleInfo g = UnitGranule();
    ChannelGranule m = ZeroChannel(), s = ZeroChannel();
    m.xr[3] = 0.75;
    m.nonzeroEnd = 4;
    ProcessStereo(m, s, g, FrameShape{0, 2, 0, true}, 2);
    EXPECT_DOUBLE_EQ(m.xr[3], 0.75);
    EXPECT_DOUBLE_EQ(s.xr[3], 0.75);
    EXPECT_EQ(s.nonzeroEnd, 4u);
}

TEST(Layer3Antialias, PureShortBlocksAreLeftAloneLongBlocksAreNot) {
    ChannelGranule c = ZeroChannel();
    c.xr[17] = 1.0;
    c.nonzeroEnd = 18;
    GranuleInfo g = UnitGranule();
    g.window_switching = 1;
    g.block_type = 2;
    ChannelGranule shortBlock = c;
    Antialias(shortBlock, g, 0);
    EXPECT_EQ(std::memcmp(shortBlock.xr, c.xr, sizeof c.xr), 0);
    g = UnitGranule();
    ChannelGranule longBlock = c;
    EXPECT_EQ(Antialias(longBlock, g, 0), 2u);  // the butterfly spreads into subband 1
    EXPECT_NEAR(longBlock.xr[17], Tables().antialiasCs[0], 1e-15);
    EXPECT_NEAR(longBlock.xr[18], Tables().antialiasCa[0], 1e-15);
}

TEST(Layer3Hybrid, SilenceReplaysTheOverlapThenDecays) {
    const DecoderTables& t = Tables();
    ChannelGranule c = ZeroChannel();
    c.xr[0] = 1.0;
    GranuleInfo g = UnitGranule();
    double overlap[576] = {};
    double out[18][32];
    HybridSynthesis(c, g, 0, 1, overlap, out);
    // Line 0 alone: every output is the standard's IMDCT term times the long window.
    const double pi = std::acos(-1.0);
    for (int i = 0; i < 18; ++i)
        EXPECT_NEAR(out[i][0], std::cos(pi / 72 * (2 * i + 19)) * t.window[0][i], 1e-14) << i;
    for (int i = 0; i < 18; ++i)
        EXPECT_NEAR(overlap[i], std::cos(pi / 72 * (2 * (i + 18) + 19)) * t.window[0][i + 18], 1e-14);
    EXPECT_NE(overlap[0], 0.0);
    const double carried = overlap[5];
    ChannelGranule silent = ZeroChannel();
    HybridSynthesis(silent, g, 0, 0, overlap, out);
    EXPECT_DOUBLE_EQ(out[5][0], carried);
    EXPECT_DOUBLE_EQ(overlap[5], 0.0);
    EXPECT_DOUBLE_EQ(out[5][7], 0.0);
}

}  // namespace
}  // namespace sonotrap::mp3
