#include <gtest/gtest.h>

#include <random>
#include <string>

#include "EncoderTestSignals.h"
#include "DecodedFrames.h"
#include "mp3enc/BitWriter.h"
#include "mp3enc/FrameHeader.h"
#include "mp3enc/FrameWriter.h"
#include "mp3enc/HuffmanTables.h"
#include "mp3enc/Quantizer.h"
#include "mp3enc/ScalefactorBands.h"

namespace sonotrap::mp3enc {
namespace {

// The written bits as text, padded with ones to whole bytes.
std::string Bits(BitWriter& w) {
    w.PutOnes(static_cast<int>((8 - w.BitCount() % 8) % 8));
    w.Flush();
    std::string s;
    for (size_t i = 0; i < w.BitCount(); ++i) {
        const size_t byte = i / 8;
        s += byte < w.ByteCount() ? (((w.Data()[byte] >> (7 - i % 8)) & 1) ? '1' : '0') : '?';
    }
    return s;
}

// Pair (16, -3) in table 16: the code of (15, 3), one linbits bit for 16 - 15, sign of x (+),
// sign of y (-). Quadruple (1, 0, 0, -1) in table A: code 00011, then the two signs.
TEST(EncoderHuffmanCoding, EscapedPairAndQuadrupleCodeAsTheStandardSays) {
    BitWriter pair;
    PutPair(pair, 16, 16, -3);
    EXPECT_EQ(Bits(pair).substr(0, 12), "000001011" "1" "0" "1");
    BitWriter quad;
    PutQuadruple(quad, kCount1TableA, 1, 0, 0, -1);
    EXPECT_EQ(Bits(quad).substr(0, 7), "00011" "0" "1");
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
        enctest::DecodedFrame parsed;
        ASSERT_TRUE(enctest::DecodeFrameLines(w.Data(), 288, parsed));
        EXPECT_EQ(parsed.header >> 8 & 0xFF, 0x58u);
        for (int gr = 0; gr < 2; ++gr) {
            const enctest::DecodedGranule& pg = parsed.granules[gr][0];
            EXPECT_TRUE(pg.cleanEnd);
            EXPECT_EQ(parsed.side.granule[gr][0].part2_3_length, static_cast<uint32_t>(side.granules[gr][0].part23Length));
            for (int i = 0; i < 576; ++i) ASSERT_EQ(pg.values[i], q[gr][0][i]) << "granule " << gr << " line " << i;
        }
    }
}

// Decoders walk the stuffing as count1 quadruples; every granule of every frame must end
// exactly at its part2_3_length or at line 576, never inside a code, and every frame is
// self-contained and within its bits. Tonal signals, which leave odd stuffing runs
// behind table B, are the ones that used to break this.
TEST(EncodedStream, EveryGranuleParsesCleanly) {
    std::vector<std::vector<int16_t>> signals;
    for (double hz : {110.0, 440.0, 1000.0, 3150.0, 7000.0}) signals.push_back(enctest::SineWave(hz, -12, 1.0));
    signals.push_back(enctest::LogSweep(50, 15000, -6, 2.0));
    signals.push_back(enctest::ClippedSquare(220, 1.0));
    signals.push_back(enctest::SineWave(1000, -70, 0.5));
    int frames = 0;
    int tableA = 0;
    for (const auto& signal : signals) {
        Mp3Encoder encoder;
        ASSERT_TRUE(encoder.Initialise(64));
        for (const enctest::DecodedFrame& f : enctest::DecodeStreamLines(enctest::EncodeAll(encoder, signal), 288)) {
            ++frames;
            ASSERT_EQ(f.side.main_data_begin, 0u);
            ASSERT_LE(f.side.granule[0][0].part2_3_length + f.side.granule[1][0].part2_3_length, 2136u);
            for (int gr = 0; gr < 2; ++gr) {
                ASSERT_TRUE(f.granules[gr][0].cleanEnd) << "frame " << frames << " granule " << gr;
                ASSERT_EQ(f.side.granule[gr][0].scalefac_compress, 0u);
                tableA += f.side.granule[gr][0].count1table_select == 0 && f.side.granule[gr][0].part2_3_length > 0;
            }
        }
    }
    EXPECT_GT(frames, 250);
    EXPECT_GT(tableA, 0);
}

}  // namespace
}  // namespace sonotrap::mp3enc
