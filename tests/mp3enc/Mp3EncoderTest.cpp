#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "EncoderTestSignals.h"
#include "DecodedFrames.h"
#include "mp3enc/Mp3Encoder.h"
#include "support/TestSupport.h"

namespace sonotrap {
namespace {

using enctest::EncodeAll;

// Sample counts against the frames they produce: nothing is written without whole frames or
// a flush, and a flush adds two frames of silence after what is held.
TEST(Mp3Encoder, FramesWrittenForInputAndFlush) {
    struct Case {
        size_t samples;
        bool nullInput, flush;
        size_t frames;
    };
    const Case cases[] = {{0, true, false, 0}, {0, false, false, 0}, {1152, true, false, 0},
                          {0, true, true, 2},  {1000, false, true, 3}, {3000, false, false, 3}};
    const std::vector<int16_t> tone = enctest::SineWave(1000, -6, 3000 / 32000.0);
    for (const Case& c : cases) {
        Mp3Encoder encoder;
        ASSERT_TRUE(encoder.Initialise(64, 1));
        std::vector<size_t> writes;
        Mp3Sink sink([&writes](const uint8_t*, size_t n) { return writes.push_back(n), true; });
        const int16_t* input = c.nullInput ? nullptr : tone.data();
        EXPECT_EQ(encoder.Encode(input, c.samples, c.flush, sink), c.frames * 288) << c.samples;
        EXPECT_EQ(writes, std::vector<size_t>(c.frames, 288)) << c.samples;  // one write per frame
        EXPECT_EQ(encoder.FramesWritten(), c.frames);
    }
}

TEST(Mp3Encoder, ResetDropsHeldAudioSoTheNextFileIsLikeTheFirst) {
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.Initialise(64, 1));
    Mp3Sink discard([](const uint8_t*, size_t) { return true; });
    const std::vector<int16_t> tone = enctest::SineWave(700, -10, 0.3);
    const std::vector<uint8_t> first = EncodeAll(encoder, tone);
    const std::vector<int16_t> loud = enctest::WhiteNoise(-3, 1152 / 32000.0);
    encoder.Encode(loud.data(), loud.size(), false, discard);  // no flush: audio stays held
    EXPECT_NE(EncodeAll(encoder, tone), first);
    encoder.Encode(loud.data(), loud.size(), false, discard);
    encoder.Reset();
    EXPECT_EQ(EncodeAll(encoder, tone), first);
}

TEST(Mp3Encoder, RefusesBadSettingsAndWritesNothingUninitialisedOrDestroyed) {
    Mp3Encoder encoder;
    for (auto [kbps, channels] : {std::pair{0, 1}, {65, 1}, {384, 1}, {64, 0}, {64, 3}})
        EXPECT_FALSE(encoder.Initialise(kbps, channels)) << kbps << " " << channels;
    EXPECT_FALSE(encoder.IsInitialised());
    Mp3Sink sink([](const uint8_t*, size_t) { return true; });
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, sink), 0u);
    ASSERT_TRUE(encoder.Initialise(64));
    encoder.Destroy();
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, sink), 0u);
    ASSERT_TRUE(encoder.Initialise(64));
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, sink), 576u);
}

TEST(Mp3Encoder, TwoChannelsMakeDualChannelFrames) {
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.Initialise(128, 2));
    std::vector<int16_t> stereo(2 * 1152 * 4);
    const std::vector<int16_t> left = enctest::SineWave(500, -6, 1152 * 4 / 32000.0);
    for (size_t i = 0; i < left.size(); ++i) stereo[2 * i] = left[i];
    const std::vector<enctest::DecodedFrame> frames = enctest::DecodeStreamLines(EncodeAll(encoder, stereo), 576);
    ASSERT_EQ(frames.size(), 4u + 2u);
    for (const auto& f : frames) EXPECT_EQ(f.header & 0xFF, 0x84u);  // dual channel
    // The right channel is silent; the left one carries the tone.
    EXPECT_GT(frames[2].side.granule[0][0].big_values, 0u);
    EXPECT_EQ(frames[2].side.granule[0][1].big_values, 0u);
    // Half a pair is refused, not dropped (which would swap the channels from there on).
    Mp3Sink sink([](const uint8_t*, size_t) { return true; });
    EXPECT_EQ(encoder.Encode(stereo.data(), 2 * 1152 - 1, true, sink), 0u);
    EXPECT_EQ(encoder.FramesWritten(), 6u);
}

TEST(Mp3Encoder, FailedWritesAreReportedNotHidden) {
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.Initialise(64));
    int calls = 0;
    Mp3Sink refusing([&calls](const uint8_t*, size_t) { return ++calls != 2; });
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, refusing), 288u);  // the second frame was refused
    EXPECT_TRUE(refusing.Failed());
    EXPECT_EQ(refusing.FailedWrites(), 1u);
    EXPECT_EQ(encoder.FramesWritten(), 1u);

    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    std::setvbuf(full, nullptr, _IONBF, 0);
    Mp3Sink fullSink(full);
    EXPECT_EQ(encoder.Encode(nullptr, 0, true, fullSink), 0u);
    EXPECT_EQ(fullSink.FailedWrites(), 2u);
    std::fclose(full);
}

}  // namespace
}  // namespace sonotrap
