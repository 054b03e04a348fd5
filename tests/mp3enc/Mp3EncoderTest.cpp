#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "EncoderTestSignals.h"
#include "FrameParser.h"
#include "mp3enc/Mp3Encoder.h"
#include "support/TestSupport.h"

namespace sonotrap {
namespace {

using enctest::EncodeAll;

struct CollectingSink {
    std::vector<uint8_t> bytes;
    std::vector<size_t> writes;
    Mp3Sink sink{[this](const uint8_t* p, size_t n) {
        bytes.insert(bytes.end(), p, p + n);
        writes.push_back(n);
        return true;
    }};
};

class Mp3EncoderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(encoder.Initialise(64, 1)); }
    Mp3Encoder encoder;
    CollectingSink out;
};

TEST_F(Mp3EncoderTest, NothingWithoutSamplesOrFlush) {
    EXPECT_EQ(encoder.Encode(nullptr, 0, false, out.sink), 0u);
    const int16_t one = 5;
    EXPECT_EQ(encoder.Encode(&one, 0, false, out.sink), 0u);
    EXPECT_EQ(encoder.Encode(nullptr, 1152, false, out.sink), 0u);
    EXPECT_TRUE(out.bytes.empty());
    EXPECT_EQ(encoder.FramesWritten(), 0u);
}

TEST_F(Mp3EncoderTest, FlushAloneWritesTwoFrames) {
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, out.sink), 576u);
    EXPECT_EQ(out.writes, (std::vector<size_t>{288, 288}));
    EXPECT_EQ(encoder.FramesWritten(), 2u);
}

TEST_F(Mp3EncoderTest, ShortChunkWithFlushWritesThreeFrames) {
    const std::vector<int16_t> tone = enctest::SineWave(1000, -6, 1000 / 32000.0);
    ASSERT_EQ(tone.size(), 1000u);
    EXPECT_EQ(encoder.Encode(tone.data(), tone.size(), true, out.sink), 864u);
    EXPECT_EQ(out.writes.size(), 3u);
}

TEST_F(Mp3EncoderTest, MoreThanOneFrameOfInputIsEncodedFrameByFrame) {
    const std::vector<int16_t> tone = enctest::SineWave(440, -6, 3000 / 32000.0);
    EXPECT_EQ(encoder.Encode(tone.data(), tone.size(), false, out.sink), 3u * 288);
    EXPECT_EQ(out.writes.size(), 3u);
}

TEST_F(Mp3EncoderTest, EveryFrameHasTheRecordingHeaderAndSize) {
    const std::vector<uint8_t> bytes = EncodeAll(encoder, enctest::LogSweep(50, 15000, -3, 1.0));
    ASSERT_EQ(bytes.size() % 288, 0u);
    ASSERT_GT(bytes.size(), 20u * 288);
    for (size_t at = 0; at < bytes.size(); at += 288) {
        EXPECT_EQ(bytes[at], 0xFF);
        EXPECT_EQ(bytes[at + 1], 0xFB);
        EXPECT_EQ(bytes[at + 2], 0x58);
        EXPECT_EQ(bytes[at + 3], 0xC4);
    }
}

TEST_F(Mp3EncoderTest, SilentFrameIsAllStuffing) {
    encoder.Encode(nullptr, 0, true, out.sink);
    ASSERT_EQ(out.bytes.size(), 576u);
    enctest::ParsedFrame frame;
    ASSERT_TRUE(enctest::ParseFrame(out.bytes.data(), 288, 1, frame));
    EXPECT_EQ(frame.mainDataBegin, 0);
    EXPECT_EQ(frame.granules[0][0].side.part23Length, 2136);
    EXPECT_EQ(frame.granules[1][0].side.part23Length, 0);
    EXPECT_EQ(frame.granules[0][0].side.bigValues, 0);
    EXPECT_EQ(frame.granules[0][0].side.count1, 0);
    for (size_t i = 288 - 267; i < 288; ++i) ASSERT_EQ(out.bytes[i], 0xFF) << i;
    EXPECT_NE(out.bytes[288 - 268], 0xFF);
}

TEST_F(Mp3EncoderTest, ResetDropsHeldAudioSoTheNextFileIsLikeTheFirst) {
    const std::vector<int16_t> tone = enctest::SineWave(700, -10, 0.3);
    const std::vector<uint8_t> first = EncodeAll(encoder, tone);
    const std::vector<int16_t> loud = enctest::WhiteNoise(-3, 1152 / 32000.0);
    encoder.Encode(loud.data(), loud.size(), false, out.sink);  // no flush: audio stays held
    EXPECT_NE(EncodeAll(encoder, tone), first);
    encoder.Encode(loud.data(), loud.size(), false, out.sink);
    encoder.Reset();
    EXPECT_EQ(EncodeAll(encoder, tone), first);
}

TEST(Mp3EncoderSetup, RejectsBitratesOutsideTheTableAndOddChannelCounts) {
    Mp3Encoder encoder;
    EXPECT_FALSE(encoder.Initialise(0));
    EXPECT_FALSE(encoder.Initialise(65));
    EXPECT_FALSE(encoder.Initialise(384));
    EXPECT_FALSE(encoder.Initialise(64, 0));
    EXPECT_FALSE(encoder.Initialise(64, 3));
    EXPECT_FALSE(encoder.IsInitialised());
    Mp3Sink sink([](const uint8_t*, size_t) { return true; });
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, sink), 0u);
}

TEST(Mp3EncoderSetup, EveryTableBitrateGivesWholeUnpaddedFrames) {
    const int rates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    for (int index = 1; index <= 14; ++index) {
        const int kbps = rates[index - 1];
        Mp3Encoder encoder;
        ASSERT_TRUE(encoder.Initialise(kbps));
        const size_t expected = static_cast<size_t>(kbps) * 9 / 2;
        EXPECT_EQ(static_cast<size_t>(encoder.FrameBytes()), expected);
        const std::vector<uint8_t> bytes = EncodeAll(encoder, enctest::LogSweep(100, 12000, -3, 0.2));
        const std::vector<enctest::ParsedFrame> frames = enctest::ParseStream(bytes, expected, 1);
        ASSERT_EQ(frames.size() * expected, bytes.size()) << kbps;
        for (const enctest::ParsedFrame& f : frames) {
            EXPECT_EQ(f.bitrateIndex, index);
            EXPECT_EQ(f.padding, 0);
            // Main data never claims more than the frame holds, and no length field overflows.
            EXPECT_LE(f.mainDataBits, static_cast<int>(expected * 8) - 168) << kbps;
            for (const auto& g : f.granules) {
                EXPECT_TRUE(g[0].cleanEnd) << kbps;
                EXPECT_LE(g[0].side.part23Length, 4095);
            }
        }
    }
}

TEST(Mp3EncoderSetup, TwoChannelsMakeDualChannelFrames) {
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.Initialise(128, 2));
    std::vector<int16_t> stereo(2 * 1152 * 4);
    const std::vector<int16_t> left = enctest::SineWave(500, -6, 1152 * 4 / 32000.0);
    for (size_t i = 0; i < left.size(); ++i) stereo[2 * i] = left[i];
    const std::vector<uint8_t> bytes = EncodeAll(encoder, stereo);
    const std::vector<enctest::ParsedFrame> frames = enctest::ParseStream(bytes, 576, 2);
    ASSERT_EQ(frames.size(), 4u + 2u);
    for (const auto& f : frames) {
        EXPECT_EQ(f.mode, 2);
        EXPECT_EQ(f.headerBytes[3], 0x84);
    }
    // The right channel is silent; the left one carries the tone.
    EXPECT_GT(frames[2].granules[0][0].side.bigValues, 0);
    EXPECT_EQ(frames[2].granules[0][1].side.bigValues, 0);
}

TEST(Mp3EncoderSink, FailedWritesAreReportedNotHidden) {
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.Initialise(64));
    int calls = 0;
    Mp3Sink sink([&calls](const uint8_t*, size_t) { return ++calls != 2; });
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, sink), 288u);  // the second frame was refused
    EXPECT_TRUE(sink.Failed());
    EXPECT_EQ(sink.FailedWrites(), 1u);
    EXPECT_EQ(encoder.FramesWritten(), 1u);
}

TEST(Mp3EncoderSink, FileSinkWritesOneBlockPerFrameAndSeesErrors) {
    test::TempDir dir;
    std::FILE* file = std::fopen(dir.File("out.mp3").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    Mp3Sink sink(file);
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.Initialise(64));
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, sink), 576u);
    std::fclose(file);
    EXPECT_EQ(test::ReadFileBytes(dir.File("out.mp3")).size(), 576u);
    EXPECT_FALSE(sink.Failed());

    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    std::setvbuf(full, nullptr, _IONBF, 0);
    Mp3Sink fullSink(full);
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, fullSink), 0u);
    EXPECT_EQ(fullSink.FailedWrites(), 2u);
    std::fclose(full);
}

TEST(Mp3EncoderSink, DestroyedEncoderWritesNothing) {
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.Initialise(64));
    encoder.Destroy();
    Mp3Sink sink([](const uint8_t*, size_t) { return true; });
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, sink), 0u);
    ASSERT_TRUE(encoder.Initialise(64));
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, sink), 576u);
}

}  // namespace
}  // namespace sonotrap
