#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "media/MusicFileReader.h"
#include "mp3dec/Mp3DecodeHelpers.h"
#include "support/TestSupport.h"
#include "support/WavBytes.h"

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

// The decoder's output, stereo as the truncated mean of each pair, other rates converted as the
// same PCM in a WAV file would be; a rewind from the end or the middle replays it.
TEST(MusicFileReaderMp3, GivesTheDecoderOutputFoldedAndConvertedAndRewinds) {
    for (auto [name, mode] : {std::pair{"mono32k.mp3", MusicFileReader::kModeMp3Mono},
                              {"stereo32k.mp3", MusicFileReader::kModeMp3Stereo},
                              {"stereo44k.mp3", MusicFileReader::kModeConvert},
                              {"mono22k.mp3", MusicFileReader::kModeConvert}}) {
        SCOPED_TRACE(name);
        const auto bytes = Mp3File(name);
        const auto native = test::DecodeMp3(bytes);
        ASSERT_TRUE(native.indexed);
        auto reader = Open(bytes);
        ASSERT_TRUE(IsReady(reader.get()));
        EXPECT_EQ(std::pair(reader->ConversionMode(), reader->Format().formatTag), std::pair(mode, kFormatMp3));
        const uint32_t perFrame = native.sampleRate < 32000 ? 576 : 1152;
        EXPECT_EQ(reader->Format().sampleFrames, (native.frameCount - 1) * perFrame);
        std::vector<int16_t> expected(native.pcm.size() / native.channels);
        for (size_t i = 0; i < expected.size(); ++i)
            expected[i] = native.channels == 1 ? native.pcm[i] : (native.pcm[2 * i] + native.pcm[2 * i + 1]) / 2;
        if (mode == MusicFileReader::kModeConvert) {
            const auto wav = test::MakePcmWav(static_cast<uint16_t>(native.channels), native.sampleRate, native.pcm);
            expected = ReadAll(*Open(wav));
        }
        const auto first = ReadAll(*reader);
        EXPECT_EQ(first, expected);
        reader->Rewind();
        EXPECT_EQ(ReadAll(*reader), first);
        int16_t block[1152];
        reader->Rewind();
        reader->ReadBlock(block);
        reader->ReadBlock(block);
        reader->Rewind();
        ASSERT_EQ(reader->ReadBlock(block), 1152u);
        EXPECT_TRUE(std::equal(block, block + 1152, first.begin()));
    }
}

TEST(MusicFileReaderMp3, Tag85RiffIsDecodedFromItsDataChunkAndNeverRetriedAsRaw) {
    const auto mp3 = Mp3File("stereo44k.mp3");
    const auto riff = Mp3InRiff(mp3, 2, 44100);
    auto fromRiff = Open(riff);
    ASSERT_TRUE(fromRiff->IsReady());
    EXPECT_EQ(fromRiff->Format().formatTag, kFormatMp3);
    EXPECT_EQ(ReadAll(*fromRiff), ReadAll(*Open(mp3)));

    auto tag2 = Mp3InRiff(mp3, 1, 32000);
    tag2[20] = 2;
    EXPECT_FALSE(Open(tag2)->IsReady());
    auto noData = Mp3InRiff(mp3, 1, 32000);
    std::memcpy(noData.data() + 36 + 14 + 18, "dat_", 4);  // the tag after fmt and junk
    EXPECT_FALSE(Open(noData)->IsReady());
    // Frames whose main data all begin 511 bytes back yield nothing: refused at open, or
    // playback would decode the whole file at every read.
    auto silent = mp3;
    const test::FrameList frames = test::ListFrames(silent);
    ASSERT_GT(frames.starts.size(), 3u);
    for (int i = 0; i < 3; ++i) silent[frames.starts[i] - silent.data() + 4] = 0xFF;
    silent.resize(frames.starts[3] - silent.data());
    EXPECT_FALSE(Open(silent)->IsReady());
}
