#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "media/MusicFileReader.h"
#include "support/WavBytes.h"

using namespace sonotrap;
using test::Layout;
using test::MakePcmWav;
using test::MakeWav;
using test::ReadAll;
using test::SampleBytes;
using test::Sized;
using test::WavLayout;

namespace {

std::unique_ptr<MusicFileReader> Open(const std::vector<uint8_t>& bytes) {
    return MusicFileReader::Create(bytes.data(), bytes.size(), 32000, nullptr);
}

std::vector<int16_t> Ramp(size_t count) {
    std::vector<int16_t> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = static_cast<int16_t>(-20000 + static_cast<int>(i) * 7 % 40000);
    return v;
}

}  // namespace

TEST(MusicFileReaderWav, MonoAtOutputRateIsCopiedAndTheLastBlockPadded) {
    const auto samples = Ramp(2 * 1152 + 100);
    const auto bytes = MakePcmWav(1, 32000, samples);
    auto reader = Open(bytes);
    ASSERT_TRUE(IsReady(reader.get()));
    EXPECT_EQ(reader->ConversionMode(), MusicFileReader::kModePcmMono);
    EXPECT_EQ(reader->GetOutputSampleCount(), samples.size());
    std::vector<uint32_t> counts;
    EXPECT_EQ(ReadAll(*reader, &counts), samples);
    EXPECT_EQ(counts, (std::vector<uint32_t>{1152, 1152, 100, 0}));
    int16_t block[1152];
    EXPECT_EQ(reader->ReadBlock(block), 0u);
    reader->Rewind();
    std::fill(block, block + 1152, int16_t{99});
    for (int i = 0; i < 3; ++i) reader->ReadBlock(block);
    EXPECT_TRUE(std::equal(block, block + 100, samples.begin() + 2304));
    EXPECT_TRUE(std::all_of(block + 100, block + 1152, [](int16_t s) { return s == 0; }));
}

TEST(MusicFileReaderWav, StereoAtOutputRateIsTheTruncatedMeanOfTheFirstPair) {
    std::vector<int16_t> samples;
    for (int i = 0; i < 300; ++i) samples.insert(samples.end(), {3, 0, -3, 0, 32767, 32767, -32768, -32768, -32768, 32767, 100, -101});
    const auto bytes = MakePcmWav(2, 32000, samples);
    auto reader = Open(bytes);
    ASSERT_TRUE(reader->IsReady());
    EXPECT_EQ(reader->ConversionMode(), MusicFileReader::kModePcmStereo);
    std::vector<uint32_t> counts;
    const auto out = ReadAll(*reader, &counts);
    EXPECT_EQ(counts, (std::vector<uint32_t>{1152, 648, 0}));
    const int16_t expected[] = {1, -1, 32767, -32768, 0, 0};
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], expected[i % 6]) << i;
}

TEST(MusicFileReaderWav, RefusesWhatIsNotSixteenBitPcmOrMp3) {
    const std::vector<uint8_t> data(4000, 0x11);
    const struct {
        const char* what;
        WavLayout layout;
        std::vector<uint8_t> data;
    } refused[] = {
        {"8-bit", Layout(1, 1, 32000, 8), data},   {"24-bit", Layout(1, 1, 32000, 24), data},
        {"tag 2", Layout(2, 1, 32000, 4), data},   {"tag 3", Layout(3, 1, 32000, 32), data},
        {"no channels", Layout(1, 0), data},       {"rate 0", Layout(1, 1, 0), data},
        {"data size 0", Sized(Layout(), 0), data}, {"not one whole sample", Layout(), {1}},
    };
    int16_t block[1152];
    for (const auto& c : refused) {
        const auto bytes = MakeWav(c.layout, c.data);
        auto reader = Open(bytes);
        EXPECT_FALSE(reader->IsReady()) << c.what;
        EXPECT_EQ(reader->GetOutputSampleCount(), 0u) << c.what;
        EXPECT_EQ(reader->ReadBlock(block), 0u) << c.what;
    }
    EXPECT_FALSE(IsReady(nullptr));
}

// The usable data is what the size word says, cut to the bytes in the file and to whole samples.
TEST(MusicFileReaderWav, DataTagIsSearchedWithinTheWindowOnlyAndItsSizeIsCut) {
    const auto ramp = Ramp(1000);
    for (auto [dataSize, samples] : {std::pair{0x7FFFFFF0u, 1000u}, {601u, 300u}}) {
        const auto bytes = MakeWav(Sized(Layout(), dataSize), SampleBytes(ramp));
        EXPECT_EQ(ReadAll(*Open(bytes)), std::vector<int16_t>(ramp.begin(), ramp.begin() + samples)) << dataSize;
    }
    const auto samples = Ramp(50);
    // The search starts at byte 36; "data" found at 36 + 2048 is the last place it may be.
    // Several unknown chunks, as a list or broadcast header would leave, are passed over.
    for (auto [sizes, found] : {std::pair{std::vector<uint32_t>{2040}, true}, {{2041}, false}, {{4, 26, 300}, true}}) {
        WavLayout layout;
        for (uint32_t size : sizes) {
            const auto chunk = test::UnknownChunk(size);
            layout.chunksBeforeData.insert(layout.chunksBeforeData.end(), chunk.begin(), chunk.end());
        }
        const auto bytes = MakeWav(layout, SampleBytes(samples));
        auto reader = Open(bytes);
        ASSERT_EQ(reader->IsReady(), found) << sizes[0];
        EXPECT_EQ(found ? ReadAll(*reader) : samples, samples);
    }
}
