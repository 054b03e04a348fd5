#include <gtest/gtest.h>

#include <vector>

#include "EncoderTestSignals.h"
#include "FrameParser.h"
#include "mp3enc/Mp3Encoder.h"

namespace sonotrap {
namespace {

// Decoders walk the stuffing as count1 quadruples; every granule of every frame must end
// exactly at its part2_3_length or at line 576, never inside a code. Tonal signals, which
// leave odd stuffing runs behind table B, are the ones that used to break this.
TEST(EncodedStream, EveryGranuleParsesCleanly) {
    std::vector<std::vector<int16_t>> signals;
    for (double hz : {110.0, 440.0, 1000.0, 3150.0, 7000.0}) signals.push_back(enctest::SineWave(hz, -12, 1.0));
    signals.push_back(enctest::LogSweep(50, 15000, -6, 2.0));
    signals.push_back(enctest::ClippedSquare(220, 1.0));
    signals.push_back(enctest::SineWave(1000, -70, 0.5));
    int frames = 0;
    int tableAStuffed = 0;
    for (const auto& signal : signals) {
        Mp3Encoder encoder;
        ASSERT_TRUE(encoder.Initialise(64));
        const std::vector<uint8_t> bytes = enctest::EncodeAll(encoder, signal);
        for (const enctest::ParsedFrame& f : enctest::ParseStream(bytes, 288, 1)) {
            ++frames;
            ASSERT_LE(f.mainDataBits, 2136);
            for (int gr = 0; gr < 2; ++gr) {
                const enctest::ParsedGranule& g = f.granules[gr][0];
                ASSERT_TRUE(g.cleanEnd) << "frame " << frames << " granule " << gr;
                ASSERT_EQ(g.side.scalefacCompress, 0);
                if (gr == 1) {
                    EXPECT_EQ(g.codedBits, g.side.part23Length);  // no stuffing there
                }
            }
            const enctest::ParsedGranule& g0 = f.granules[0][0];
            if (g0.side.count1TableSelect == 0 && g0.side.part23Length > g0.codedBits) ++tableAStuffed;
        }
    }
    EXPECT_GT(frames, 250);
    EXPECT_GT(tableAStuffed, 0);
}

}  // namespace
}  // namespace sonotrap
