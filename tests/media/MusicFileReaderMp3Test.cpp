#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "media/MusicFileReader.h"
#include "support/WavBytes.h"
#include "mp3dec/Mp3DecodeHelpers.h"
#include "support/TestSupport.h"

using namespace sonotrap;
using test::ReadAll;

namespace {

std::vector<uint8_t> Mp3File(const std::string& name) { return test::ReadFileBytes(test::DataPath("media/" + name)); }

std::unique_ptr<MusicFileReader> Open(const std::vector<uint8_t>& bytes) {
    return MusicFileReader::Create(bytes.data(), bytes.size(), 32000, nullptr);
}

// Raw MPEG data wrapped in a RIFF file with format tag 85.
std::vector<uint8_t> Mp3InRiff(const std::vector<uint8_t>& mp3, uint16_t channels, uint32_t rate) {
    test::WavLayout layout = test::Layout(85, channels, rate, 0);
    layout.extraFormatBytes = {1, 0, 2, 0, 0, 0, 0x20, 1, 1, 0, 0x71, 5};
    layout.chunksBeforeData = test::UnknownChunk(10);
    return test::MakeWav(layout, mp3);
}

}  // namespace

// At the output rate the reader gives the decoder's output, stereo as the truncated mean of
// each pair.
TEST(MusicFileReaderMp3, AtOutputRateGivesTheDecoderOutput) {
    for (auto [name, mode] : {std::pair{"mono32k.mp3", MusicFileReader::kModeMp3Mono},
                              {"stereo32k.mp3", MusicFileReader::kModeMp3Stereo}}) {
        SCOPED_TRACE(name);
        const auto bytes = Mp3File(name);
        const auto native = test::DecodeMp3(bytes);
        ASSERT_TRUE(native.indexed);
        std::vector<int16_t> expected(native.pcm.size() / native.channels);
        for (size_t i = 0; i < expected.size(); ++i)
            expected[i] = native.channels == 1 ? native.pcm[i] : (native.pcm[2 * i] + native.pcm[2 * i + 1]) / 2;
        auto reader = Open(bytes);
        ASSERT_TRUE(IsReady(reader.get()));
        EXPECT_EQ(reader->ConversionMode(), mode);
        EXPECT_EQ(reader->Format().formatTag, kFormatMp3);
        EXPECT_EQ(reader->GetOutputSampleCount(), (native.frameCount - 1) * 1152);
        EXPECT_EQ(expected.size(), reader->GetOutputSampleCount());
        std::vector<uint32_t> counts;
        EXPECT_EQ(ReadAll(*reader, &counts), expected);
        EXPECT_EQ(counts.front(), 1152u);
    }
}

TEST(MusicFileReaderMp3, OtherRatesConvertTheDecodedStreamLikeTheSameWav) {
    // The converter over decoded frames must give what it gives over the same PCM in a WAV file.
    for (const char* name : {"stereo44k.mp3", "mono22k.mp3"}) {
        const auto bytes = Mp3File(name);
        const auto native = test::DecodeMp3(bytes);
        auto reader = Open(bytes);
        ASSERT_TRUE(reader->IsReady()) << name;
        EXPECT_EQ(reader->ConversionMode(), MusicFileReader::kModeConvert);
        const uint32_t perFrame = native.sampleRate < 32000 ? 576 : 1152;
        EXPECT_EQ(reader->Format().sampleFrames, (native.frameCount - 1) * perFrame) << name;

        const auto wav = test::MakePcmWav(static_cast<uint16_t>(native.channels), native.sampleRate, native.pcm);
        auto wavReader = Open(wav);
        ASSERT_TRUE(wavReader->IsReady());
        EXPECT_EQ(reader->GetOutputSampleCount(), wavReader->GetOutputSampleCount());
        const auto out = ReadAll(*reader);
        EXPECT_GT(out.size(), 0u);
        EXPECT_EQ(out, ReadAll(*wavReader)) << name;
    }
}

TEST(MusicFileReaderMp3, RewindReplaysIdentically) {
    for (const char* name : {"mono32k.mp3", "stereo32k.mp3", "stereo44k.mp3", "mono22k.mp3"}) {
        const auto bytes = Mp3File(name);
        auto reader = Open(bytes);
        ASSERT_TRUE(reader->IsReady()) << name;
        const auto first = ReadAll(*reader);
        reader->Rewind();
        EXPECT_EQ(ReadAll(*reader), first) << name;
        // A rewind in the middle of the stream, too.
        int16_t block[1152];
        reader->Rewind();
        reader->ReadBlock(block);
        reader->ReadBlock(block);
        reader->Rewind();
        ASSERT_GT(reader->ReadBlock(block), 0u);
        EXPECT_TRUE(std::equal(block, block + 1152, first.begin())) << name;
    }
}

TEST(MusicFileReaderMp3, Tag85RiffIsDecodedFromItsDataChunk) {
    const auto mp3 = Mp3File("stereo44k.mp3");
    const auto riff = Mp3InRiff(mp3, 2, 44100);
    auto fromRiff = Open(riff);
    auto raw = Open(mp3);
    ASSERT_TRUE(fromRiff->IsReady());
    EXPECT_EQ(fromRiff->Format().formatTag, kFormatMp3);
    EXPECT_EQ(fromRiff->Format().sampleFrames, raw->Format().sampleFrames);
    EXPECT_EQ(ReadAll(*fromRiff), ReadAll(*raw));
}

TEST(MusicFileReaderMp3, RiffFileIsNeverRetriedAsMp3) {
    const auto mp3 = Mp3File("mono32k.mp3");
    ASSERT_TRUE(Open(mp3)->IsReady());
    auto tag2 = Mp3InRiff(mp3, 1, 32000);
    tag2[20] = 2;
    EXPECT_FALSE(Open(tag2)->IsReady());
    auto noData = Mp3InRiff(mp3, 1, 32000);
    std::memcpy(noData.data() + 36 + 14 + 18, "dat_", 4);  // the tag after fmt and junk
    EXPECT_FALSE(Open(noData)->IsReady());
    // The same stream behind bytes that are not "RIFF" is a raw stream and is found.
    std::vector<uint8_t> prefixed = {'R', 'I', 'F', 'X', 0, 0, 0, 0};
    prefixed.insert(prefixed.end(), mp3.begin(), mp3.end());
    EXPECT_TRUE(Open(prefixed)->IsReady());
}

TEST(MusicFileReaderMp3, NoiseAndFramesWithoutSamplesAreRefused) {
    std::vector<uint8_t> noise(20000);
    uint32_t x = 12345;
    for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    EXPECT_FALSE(Open(noise)->IsReady());
    EXPECT_FALSE(Open(std::vector<uint8_t>(100, 0))->IsReady());
    // Three frames whose main data all begin 511 bytes back: none yields samples.
    std::vector<uint8_t> mp3 = Mp3File("stereo44k.mp3");
    const test::FrameList frames = test::ListFrames(mp3);
    ASSERT_GT(frames.starts.size(), 3u);
    for (int i = 0; i < 3; ++i) mp3[frames.starts[i] - mp3.data() + 4] = 0xFF;
    mp3.resize(frames.starts[3] - mp3.data());
    EXPECT_FALSE(Open(mp3)->IsReady());
}
