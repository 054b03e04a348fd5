#include <gtest/gtest.h>

#include <random>
#include <string>

#include "FrameParser.h"
#include "mp3enc/BitWriter.h"
#include "mp3enc/FrameHeader.h"
#include "mp3enc/FrameWriter.h"
#include "mp3enc/HuffmanTables.h"
#include "mp3enc/Quantizer.h"
#include "mp3enc/ScalefactorBands.h"

namespace sonotrap::mp3enc {
namespace {

std::string Bits(BitWriter& w) {
    w.Flush();
    std::string s;
    for (size_t i = 0; i < w.BitCount(); ++i) {
        const size_t byte = i / 8;
        s += byte < w.ByteCount() ? (((w.Data()[byte] >> (7 - i % 8)) & 1) ? '1' : '0') : '?';
    }
    return s;
}

TEST(EncoderBitWriter, PacksMostSignificantBitFirstAcrossBytes) {
    BitWriter w;
    w.Put(0x5, 3);
    w.Put(0x1ff, 9);
    w.Put(0xabcdef12u, 32);
    w.PutOnes(4);
    ASSERT_EQ(w.BitCount(), 48u);
    EXPECT_EQ(Bits(w), "101111111111" "10101011110011011110111100010010" "1111");
    w.Clear();
    EXPECT_EQ(w.BitCount(), 0u);
}

TEST(EncoderHuffmanCoding, EscapedPairInTable16) {
    BitWriter w;
    PutPair(w, 16, 16, -3);
    w.PutOnes(static_cast<int>((8 - w.BitCount() % 8) % 8));
    // Code of (15, 3), one linbits bit for 16 - 15, sign of x (+), sign of y (-).
    EXPECT_EQ(Bits(w).substr(0, 12), "000001011" "1" "0" "1");
}

TEST(EncoderHuffmanCoding, QuadrupleInTableA) {
    BitWriter w;
    PutQuadruple(w, kCount1TableA, 1, 0, 0, -1);
    w.PutOnes(1);
    EXPECT_EQ(Bits(w).substr(0, 7), "00011" "0" "1");
}

TEST(EncoderHuffmanCoding, TableBIsTheFixedFourBitCode) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(kHuffmanTables[kCount1TableB].lengths[i], 4);
        EXPECT_EQ(kHuffmanTables[kCount1TableB].codes[i], 15u - i);
    }
}

// Every table with codes is a complete prefix code (Kraft sum exactly 1).
TEST(EncoderHuffmanCoding, TablesAreCompleteCodes) {
    for (int t = 1; t < kHuffmanTableCount; ++t) {
        const HuffmanTable& h = kHuffmanTables[t];
        if (h.codes == nullptr) continue;
        double kraft = 0;
        for (int i = 0; i < h.xDim * h.yDim; ++i) {
            ASSERT_GT(h.lengths[i], 0);
            ASSERT_LT(h.codes[i], 1u << h.lengths[i]) << t;
            kraft += std::ldexp(1.0, -h.lengths[i]);
        }
        EXPECT_DOUBLE_EQ(kraft, 1.0) << "table " << t;
    }
    EXPECT_EQ(kHuffmanTables[4].codes, nullptr);
    EXPECT_EQ(kHuffmanTables[14].codes, nullptr);
    EXPECT_EQ(kHuffmanTables[23].linbits, 13);
    EXPECT_EQ(kHuffmanTables[24].linbits, 4);
}

// Random granules go through the writer and come back from an independent reader unchanged.
TEST(EncoderFrameWriter, FramesReadBackLineForLine) {
    std::mt19937 random(7);
    const int* bands = kLongBandBoundaries[5];
    for (int trial = 0; trial < 40; ++trial) {
        FrameHeader header = MakeFrameHeader(64, 1);
        header.frameBits = 288 * 8;
        SideInfo side;
        QuantisedFrame q = {};
        for (int gr = 0; gr < 2; ++gr) {
            // Sparse, mostly small values with a few escapes, tailing off to zero.
            const int top = static_cast<int>(random() % 300);
            for (int i = 0; i < top; ++i) {
                const int r = static_cast<int>(random() % 100);
                q[gr][0][i] = r < 40 ? 0 : (r < 80 ? 1 : (r < 97 ? static_cast<int>(random() % 15) : static_cast<int>(random() % 200)));
            }
            GranuleInfo& g = side.granules[gr][0];
            g.part23Length = CountGranuleBits(q[gr][0], bands, g);
            for (int i = 0; i < top; ++i) {
                if (random() % 2) q[gr][0][i] = -q[gr][0][i];
            }
        }
        if (side.granules[0][0].part23Length + side.granules[1][0].part23Length > 2136) continue;
        BitWriter w;
        ASSERT_EQ(FormatFrame(header, 1, side, q, w), 288u);
        enctest::ParsedFrame parsed;
        ASSERT_TRUE(enctest::ParseFrame(w.Data(), 288, 1, parsed));
        EXPECT_EQ(parsed.headerBytes[2], 0x58);
        for (int gr = 0; gr < 2; ++gr) {
            const enctest::ParsedGranule& pg = parsed.granules[gr][0];
            EXPECT_TRUE(pg.cleanEnd);
            EXPECT_EQ(pg.side.part23Length, side.granules[gr][0].part23Length);
            for (int i = 0; i < 576; ++i) ASSERT_EQ(pg.values[i], q[gr][0][i]) << "granule " << gr << " line " << i;
        }
    }
}

TEST(EncoderFrameWriter, StuffingFillsTheGranuleAndTheRestOfTheFrame) {
    FrameHeader header = MakeFrameHeader(64, 1);
    header.frameBits = 288 * 8;
    SideInfo side;
    QuantisedFrame q = {};
    side.granules[0][0].part23Length = 100;  // nothing coded: 100 bits of stuffing
    BitWriter w;
    ASSERT_EQ(FormatFrame(header, 1, side, q, w), 288u);
    for (size_t i = 21; i < 288; ++i) ASSERT_EQ(w.Data()[i], 0xFF);
    EXPECT_EQ(w.BitCount(), 288u * 8);
}

}  // namespace
}  // namespace sonotrap::mp3enc
