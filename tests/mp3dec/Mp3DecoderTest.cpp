#include "mp3dec/Mp3Decoder.h"

#include <gtest/gtest.h>

#include <thread>

#include "mp3dec/Mp3DecodeHelpers.h"

namespace sonotrap {
namespace {

using Bytes = std::vector<uint8_t>;
using test::DecodedStream;
using test::FrameList;

Bytes Load(const std::string& name) { return test::ReadFileBytes(test::DataPath("mp3dec/" + name)); }

// Overwrites bits of a frame in place, most significant first.
void Patch(const uint8_t* frame, uint32_t bitPosition, uint32_t value, uint32_t bits) {
    uint8_t* data = const_cast<uint8_t*>(frame);
    for (uint32_t i = 0; i < bits; ++i) {
        const uint32_t bit = (value >> (bits - 1 - i)) & 1, p = bitPosition + i;
        data[p / 8] = static_cast<uint8_t>((data[p / 8] & ~(0x80 >> (p % 8))) | (bit << (7 - p % 8)));
    }
}

// The first call reads a header, the second delivers frame 0; a frame fed again is ignored,
// and after a reset the decoder gives what a new one gives.
TEST(Mp3Decoder, FirstCallReadsAHeaderAFrameFedAgainIsIgnoredAndResetReplays) {
    const Bytes bytes = Load("s44_stereo.mp3");
    const FrameList frames = test::ListFrames(bytes);
    const DecodedStream fresh = test::DecodeFrames(frames);
    EXPECT_EQ(fresh.bytesPerFrame[0], 0u);
    EXPECT_EQ(fresh.bytesPerFrame[1], 4608u);
    EXPECT_EQ(fresh.channels, 2u);
    EXPECT_EQ(fresh.sampleRate, 44100u);
    std::vector<uint32_t> consumed(frames.starts.size(), 0);
    Mp3Decoder* d = CreateDecoder(frames.starts.data(), frames.lengths.data(), consumed.data());
    int16_t out[2304];
    uint32_t n = 0;
    std::vector<int16_t> replay;
    EXPECT_EQ(DecodeFrame(d, 0, out, &n), 1);
    EXPECT_EQ(DecodeFrame(d, 1, out, &n), 0);
    EXPECT_EQ(DecodeFrame(d, 1, out, &n), 1);  // fed again: ignored, the queue intact
    EXPECT_EQ(n, 0u);
    std::fill(consumed.begin(), consumed.end(), 0);
    ResetDecoder(d);
    for (uint32_t i = 0; i < frames.starts.size(); ++i) {
        DecodeFrame(d, i, out, &n);
        replay.insert(replay.end(), out, out + n / 2);
    }
    DestroyDecoder(d);
    EXPECT_EQ(replay, fresh.pcm);
}

// Main data reaching back past what the decoder has seen yields nothing (never invented
// bytes); the frames after it decode again. Output bytes are listed by call (call i + 1
// delivers frame i).
TEST(Mp3Decoder, ABackReferencePastWhatWasSeenYieldsNothing) {
    const struct {
        const char *what, *file;
        bool patchFrame1;
        std::vector<std::pair<size_t, uint32_t>> calls;
    } cases[] = {
        {"the stream starts mid-way: frames 0 and 1 refer to bytes not there", "sin1k0db_40.bit", false,
         {{1, 0}, {2, 0}, {3, 4608}}},
        {"frame 1 claims 511 reservoir bytes; frame 0 left fewer", "s44_stereo.mp3", true, {{1, 4608}, {2, 0}, {3, 4608}}},
        // The index passes over 100 stereo frames between the mono ones (a gap): frames 10
        // and 11 refer to reservoir bytes that were in the skipped frames.
        {"a gap between indexed frames", "he_mode.bit", false, {{10, 2304}, {11, 0}, {12, 0}, {13, 2304}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes bytes = Load(c.file);
        const FrameList frames = test::ListFrames(bytes);
        ASSERT_GT(frames.starts.size(), 20u);
        if (c.patchFrame1) Patch(frames.starts[1], 32, 511, 9);
        const DecodedStream s = test::DecodeFrames(frames);
        for (auto [call, bytesOut] : c.calls) EXPECT_EQ(s.bytesPerFrame[call], bytesOut) << "call " << call;
    }
}

// The frame index moves a frame boundary over a byte too many or too few. A stray byte
// between two frames of a reservoir stream must cost nothing; a byte missing from a frame
// must cost no loud frame (the frame and whatever reaches back across it stay silent).
TEST(Mp3Decoder, AStrayByteCostsNothingAMissingOneNoLoudFrame) {
    const Bytes clean = Load("s44_stereo.mp3");
    const DecodedStream reference = test::DecodeMp3(clean);
    const size_t frame10 = 10 * 418 - 1;  // one frame of 417 bytes, then 418 each
    Bytes stray = clean;
    stray.insert(stray.begin() + frame10, 0x5A);
    EXPECT_TRUE(test::DecodeMp3(stray).pcm == reference.pcm);

    int peak = 0;
    for (int16_t x : reference.pcm) peak = std::max(peak, std::abs(int(x)));
    for (size_t at : {6, 40, 200, 410}) {  // side information, main data, the reservoir's end
        SCOPED_TRACE(at);
        Bytes shortFrame = clean;
        shortFrame.erase(shortFrame.begin() + frame10 + at);
        const DecodedStream s = test::DecodeMp3(shortFrame);
        ASSERT_EQ(s.frameCount, reference.frameCount);
        for (size_t i = 0; i < s.pcm.size(); ++i) ASSERT_LE(std::abs(int(s.pcm[i])), peak * 3 / 2) << i;
        EXPECT_GE(s.pcm.size(), reference.pcm.size() - 4 * 2304);
    }
}

TEST(Mp3Decoder, ABigValuesOverrunEndsTheFrameAfterTheGranulesDone) {
    Bytes bytes = Load("s44_stereo.mp3");
    const FrameList frames = test::ListFrames(bytes);
    // Granule 1, channel 0 of frame 3 (side information after the header's 32 bits, 20 shared
    // bits and two of 59) keeps big_values but gets only 24 bits of data.
    Patch(frames.starts[3], 32 + 20 + 2 * 59, 24, 12);
    const DecodedStream s = test::DecodeFrames(frames);
    EXPECT_EQ(s.bytesPerFrame[4], 2304u);  // granule 0 only
    EXPECT_EQ(s.bytesPerFrame[3], 4608u);
}

TEST(Mp3Decoder, TablesAreBuiltOnceFromAnyThread) {
    std::thread a([] { InitDecoderTables(); });
    std::thread b([] { InitDecoderTables(); });
    a.join();
    b.join();
    const Bytes bytes = Load("m22_mono.mp3");
    EXPECT_EQ(test::DecodeMp3(bytes).pcm, test::DecodeMp3(bytes).pcm);
}

}  // namespace
}  // namespace sonotrap
