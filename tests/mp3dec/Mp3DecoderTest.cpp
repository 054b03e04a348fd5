#include "mp3dec/Mp3Decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "mp3dec/BitWriter.h"
#include "mp3dec/Mp3DecodeHelpers.h"
#include "mp3dec/Mp3FrameIndex.h"
#include "support/TestSupport.h"

namespace sonotrap {
namespace {

using Bytes = std::vector<uint8_t>;
using test::DecodedStream;
using test::FrameList;

Bytes Load(const std::string& name) { return test::ReadFileBytes(test::DataPath("mp3dec/" + name)); }

// Bit offset of granule gr, channel ch of an MPEG-1 stereo frame without CRC.
uint32_t StereoGranuleBit(int gr, int ch) { return 32 + 20 + (gr * 2 + ch) * 59; }

TEST(Mp3Decoder, FirstCallReadsAHeaderAndTheSecondDeliversFrameZero) {
    const Bytes bytes = Load("s44_stereo.mp3");
    const FrameList frames = test::ListFrames(bytes);
    std::vector<uint32_t> consumed(frames.starts.size(), 0);
    InitDecoderTables();
    Mp3Decoder* d = CreateDecoder(frames.starts.data(), frames.lengths.data(), consumed.data());
    ASSERT_NE(d, nullptr);
    int16_t out[2304];
    uint32_t bytesOut = 99;
    EXPECT_EQ(DecodeFrame(d, 0, out, &bytesOut), 1);
    EXPECT_EQ(bytesOut, 0u);
    EXPECT_EQ(DecodeFrame(d, 1, out, &bytesOut), 0);
    EXPECT_EQ(bytesOut, 4608u);
    EXPECT_EQ(DecoderChannels(d), 2u);
    EXPECT_EQ(DecoderSampleRate(d), 44100u);
    // A frame fed again is ignored rather than corrupting the queue.
    EXPECT_EQ(DecodeFrame(d, 1, out, &bytesOut), 1);
    EXPECT_EQ(bytesOut, 0u);
    EXPECT_EQ(DecodeFrame(d, 2, out, &bytesOut), 0);
    EXPECT_EQ(bytesOut, 4608u);
    DestroyDecoder(d);
}

TEST(Mp3Decoder, FrameSizesFollowRateAndChannels) {
    struct Case {
        const char* file;
        uint32_t bytesPerFrame;
    };
    for (const Case& c : {Case{"m22_mono.mp3", 1152}, Case{"s24_joint.mp3", 2304},
                          Case{"s44_stereo.mp3", 4608}}) {
        const DecodedStream s = test::DecodeMp3(Load(c.file));
        ASSERT_TRUE(s.indexed) << c.file;
        ASSERT_EQ(s.bytesPerFrame.size(), s.frameCount);
        EXPECT_EQ(s.bytesPerFrame[0], 0u);
        for (size_t i = 1; i < s.bytesPerFrame.size(); ++i)
            EXPECT_EQ(s.bytesPerFrame[i], c.bytesPerFrame) << c.file << " call " << i;
        EXPECT_EQ(s.pcm.size(), static_cast<size_t>(s.sampleFrames) * s.channels) << c.file;
    }
}

TEST(Mp3Decoder, ProducesTheEncodedSignal) {
    // A 440 Hz + 660 Hz pair at -6 dB: the level must come back, not silence or noise.
    const DecodedStream s = test::DecodeMp3(Load("s44_stereo.mp3"));
    double energy = 0;
    int peak = 0;
    for (size_t i = 4608; i < s.pcm.size(); ++i) {
        energy += double(s.pcm[i]) * s.pcm[i];
        peak = std::max(peak, std::abs(int(s.pcm[i])));
    }
    const double rms = std::sqrt(energy / (s.pcm.size() - 4608));
    EXPECT_NEAR(rms, 16384 * std::sqrt(0.5), 1500);  // sox's sines: -6 dB each channel
    EXPECT_LT(peak, 17500);
}

TEST(Mp3Decoder, DataBeforeTheFirstFrameIsNeverInvented) {
    // The stream starts mid-way: frames 0 and 1 refer to reservoir bytes that are not there.
    const Bytes bytes = Load("sin1k0db_40.bit");
    const DecodedStream s = test::DecodeMp3(bytes);
    ASSERT_GE(s.bytesPerFrame.size(), 4u);
    EXPECT_EQ(s.bytesPerFrame[1], 0u);  // frame 0
    EXPECT_EQ(s.bytesPerFrame[2], 0u);  // frame 1
    EXPECT_EQ(s.bytesPerFrame[3], 4608u);
    const auto reference = test::ReadPcm16(test::DataPath("mp3dec/sin1k0db_40.pcm"));
    const test::Accuracy a = test::CompareToReference(s.pcm, reference);
    EXPECT_EQ(a.compared, reference.size());
    EXPECT_LE(a.maxError, 1.0 / 16384);
}

TEST(Mp3Decoder, ABackReferencePastWhatWasSeenYieldsNothing) {
    Bytes bytes = Load("s44_stereo.mp3");
    FrameList frames = test::ListFrames(bytes);
    // Frame 1 claims 511 reservoir bytes; frame 0 left fewer than that.
    test::BitWriter::Patch(const_cast<uint8_t*>(frames.starts[1]), 32, 511, 9);
    const DecodedStream s = test::DecodeFrames(frames);
    EXPECT_EQ(s.bytesPerFrame[1], 4608u);
    EXPECT_EQ(s.bytesPerFrame[2], 0u);
    EXPECT_EQ(s.bytesPerFrame[3], 4608u);
}

TEST(Mp3Decoder, AGapBetweenFramesBreaksTheReservoir) {
    // The index passes over 100 stereo frames between the mono ones; the first mono frame
    // after the gap refers to reservoir bytes that were in the skipped frames.
    const DecodedStream s = test::DecodeMp3(Load("he_mode.bit"));
    ASSERT_EQ(s.frameCount, 28u);
    EXPECT_EQ(s.bytesPerFrame[10], 2304u);  // frame 9, the last before the gap
    EXPECT_EQ(s.bytesPerFrame[11], 0u);     // frame 10, right after it
    EXPECT_EQ(s.bytesPerFrame[12], 0u);     // frame 11 still reaches back past the gap
    EXPECT_EQ(s.bytesPerFrame[13], 2304u);
}

TEST(Mp3Decoder, ACrcFrameDecodesLikeTheFrameWithoutIt) {
    const Bytes bytes = Load("s44_stereo.mp3");
    const FrameList plain = test::ListFrames(bytes);
    Bytes stream;  // the same frames, each with a CRC, back to back
    std::vector<size_t> offsets;
    for (size_t i = 0; i < plain.starts.size(); ++i) {
        Bytes f(plain.starts[i], plain.starts[i] + plain.lengths[i]);
        f[1] &= 0xFE;  // protection bit 0: a CRC follows the header
        f.insert(f.begin() + 4, {0x12, 0x34});
        offsets.push_back(stream.size());
        stream.insert(stream.end(), f.begin(), f.end());
    }
    FrameList protectedFrames;
    for (size_t i = 0; i < offsets.size(); ++i) {
        protectedFrames.starts.push_back(stream.data() + offsets[i]);
        protectedFrames.lengths.push_back(plain.lengths[i] + 2);
    }
    const DecodedStream a = test::DecodeFrames(plain);
    const DecodedStream b = test::DecodeFrames(protectedFrames);
    ASSERT_GT(a.pcm.size(), 10000u);
    EXPECT_EQ(a.pcm, b.pcm);
}

TEST(Mp3Decoder, ResetReplaysIdentically) {
    const Bytes bytes = Load("s24_joint.mp3");
    const FrameList frames = test::ListFrames(bytes);
    std::vector<uint32_t> consumed(frames.starts.size(), 0);
    InitDecoderTables();
    Mp3Decoder* d = CreateDecoder(frames.starts.data(), frames.lengths.data(), consumed.data());
    auto run = [&] {
        std::vector<int16_t> pcm;
        int16_t out[2304];
        for (uint32_t i = 0; i < frames.starts.size(); ++i) {
            uint32_t n = 0;
            DecodeFrame(d, i, out, &n);
            pcm.insert(pcm.end(), out, out + n / 2);
        }
        return pcm;
    };
    const std::vector<int16_t> first = run();
    std::fill(consumed.begin(), consumed.end(), 0);
    ResetDecoder(d);
    const std::vector<int16_t> second = run();
    DestroyDecoder(d);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second);
}

TEST(Mp3Decoder, ABigValuesOverrunEndsTheFrameAfterTheGranulesDone) {
    Bytes bytes = Load("s44_stereo.mp3");
    FrameList frames = test::ListFrames(bytes);
    // Granule 1, channel 0 of frame 3 keeps big_values but gets only 24 bits of data.
    test::BitWriter::Patch(const_cast<uint8_t*>(frames.starts[3]), StereoGranuleBit(1, 0), 24, 12);
    const DecodedStream s = test::DecodeFrames(frames);
    EXPECT_EQ(s.bytesPerFrame[4], 2304u);  // granule 0 only
    EXPECT_EQ(s.bytesPerFrame[3], 4608u);
}

TEST(Mp3Decoder, SideInformationClaimingTooMuchStaysInsideItsBuffers) {
    Bytes bytes = Load("s44_stereo.mp3");
    FrameList frames = test::ListFrames(bytes);
    for (size_t i = 2; i < frames.starts.size(); i += 3) {
        uint8_t* f = const_cast<uint8_t*>(frames.starts[i]);
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < 2; ++ch) {
                const uint32_t at = StereoGranuleBit(gr, ch);
                test::BitWriter::Patch(f, at, 4095, 12);       // part2_3_length
                test::BitWriter::Patch(f, at + 12, 511, 9);    // big_values
                test::BitWriter::Patch(f, at + 30, 0xFFFF, 16);  // switching, odd tables
            }
    }
    const DecodedStream s = test::DecodeFrames(frames, true);
    for (uint32_t n : s.bytesPerFrame) EXPECT_LE(n, kMp3MaxFrameOutputBytes);
}

TEST(Mp3Decoder, SurvivesCorruptedAndTruncatedStreams) {
    const Bytes original = Load("s24_joint.mp3");
    std::mt19937 random(1234);
    for (int round = 0; round < 40; ++round) {
        Bytes bytes = original;
        for (int k = 0; k < 60; ++k) bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
        if (round % 4 == 0) bytes.resize(bytes.size() - random() % 300);
        const DecodedStream s = test::DecodeMp3(bytes, true);
        for (uint32_t n : s.bytesPerFrame) ASSERT_LE(n, kMp3MaxFrameOutputBytes);
    }
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
