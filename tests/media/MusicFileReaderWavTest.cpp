#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "media/MusicFileReader.h"
#include "support/WavBytes.h"

using namespace sonotrap;
using test::MakePcmWav;
using test::MakeWav;
using test::ReadAll;
using test::Layout;
using test::Sized;
using test::WavLayout;

namespace {

std::unique_ptr<MusicFileReader> Open(const std::vector<uint8_t>& bytes) {
    return MusicFileReader::Create(bytes.data(), bytes.size(), 32000, nullptr);
}

std::vector<int16_t> Ramp(size_t count, int start = -20000, int stride = 7) {
    std::vector<int16_t> v(count);
    for (size_t i = 0; i < count; ++i) v[i] = static_cast<int16_t>(start + static_cast<int>(i) * stride % 40000);
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

    int16_t block[1152];
    ASSERT_EQ(reader->ReadBlock(block), 1152u);
    EXPECT_TRUE(std::equal(block, block + 1152, samples.begin()));
    ASSERT_EQ(reader->ReadBlock(block), 1152u);
    std::fill(block, block + 1152, int16_t{99});
    ASSERT_EQ(reader->ReadBlock(block), 100u);
    EXPECT_TRUE(std::equal(block, block + 100, samples.begin() + 2304));
    EXPECT_TRUE(std::all_of(block + 100, block + 1152, [](int16_t s) { return s == 0; }));
    EXPECT_EQ(reader->ReadBlock(block), 0u);
    EXPECT_EQ(reader->ReadBlock(block), 0u);

    reader->Rewind();
    ASSERT_EQ(reader->ReadBlock(block), 1152u);
    EXPECT_TRUE(std::equal(block, block + 1152, samples.begin()));
}

TEST(MusicFileReaderWav, StereoAtOutputRateIsTheTruncatedMeanOfTheFirstPair) {
    std::vector<int16_t> samples;
    const int16_t pairs[][2] = {{3, 0}, {-3, 0}, {32767, 32767}, {-32768, -32768}, {-32768, 32767}, {100, -101}};
    for (int i = 0; i < 300; ++i)
        for (const auto& p : pairs) samples.insert(samples.end(), {p[0], p[1]});
    const auto bytes = MakePcmWav(2, 32000, samples);
    auto reader = Open(bytes);
    ASSERT_TRUE(reader->IsReady());
    EXPECT_EQ(reader->ConversionMode(), MusicFileReader::kModePcmStereo);
    EXPECT_EQ(reader->GetOutputSampleCount(), 1800u);

    std::vector<uint32_t> counts;
    const auto out = ReadAll(*reader, &counts);
    EXPECT_EQ(counts, (std::vector<uint32_t>{1152, 648, 0}));
    ASSERT_EQ(out.size(), 1800u);
    const int16_t expected[] = {1, -1, 32767, -32768, 0, 0};
    for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], expected[i % 6]) << i;

    // More than two channels: the first two are folded, the others ignored.
    std::vector<int16_t> four;
    for (int i = 0; i < 500; ++i) four.insert(four.end(), {int16_t(i), int16_t(i + 2), 30000, -30000});
    const auto fourBytes = MakeWav(Layout(1, 4), test::SampleBytes(four));
    reader = Open(fourBytes);
    ASSERT_TRUE(reader->IsReady());
    EXPECT_EQ(reader->GetOutputSampleCount(), 500u);
    const auto folded = ReadAll(*reader);
    ASSERT_EQ(folded.size(), 500u);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(folded[i], i + 1);
}

TEST(MusicFileReaderWav, OtherRatesGoThroughTheConverter) {
    const auto bytes = MakePcmWav(2, 44100, test::Sine(440, 44100, 44100, 0.5, 2));
    auto reader = Open(bytes);
    ASSERT_TRUE(reader->IsReady());
    EXPECT_EQ(reader->ConversionMode(), MusicFileReader::kModeConvert);
    EXPECT_DOUBLE_EQ(reader->RatioInOut(), 1.378125);
    EXPECT_DOUBLE_EQ(reader->RatioOutIn(), 32000.0 / 44100.0);
    EXPECT_EQ(reader->GetOutputSampleCount(), 32000u);
    ASSERT_NE(reader->Converter(), nullptr);
    const auto out = ReadAll(*reader);
    // The last two input frames are only ever neighbours, so the stream may end a sample early.
    EXPECT_GE(out.size(), 31998u);
    EXPECT_LE(out.size(), 32000u);
}

TEST(MusicFileReaderWav, RefusesWhatIsNotSixteenBitPcmOrMp3) {
    const std::vector<uint8_t> data(4000, 0x11);
    const struct {
        const char* what;
        WavLayout layout;
        std::vector<uint8_t> data;
    } refused[] = {
        {"8-bit", Layout(1, 1, 32000, 8), data},
        {"24-bit", Layout(1, 1, 32000, 24), data},
        {"32-bit", Layout(1, 1, 32000, 32), data},
        {"tag 2", Layout(2, 1, 32000, 4), data},
        {"tag 3", Layout(3, 1, 32000, 32), data},
        {"no channels", Layout(1, 0), data},
        {"rate 0", Layout(1, 1, 0), data},
        {"data size 0", Sized(Layout(), 0), data},
        {"no data", Layout(), {}},
        {"not one whole sample", Layout(), {1}},
    };
    int16_t block[1152];
    for (const auto& c : refused) {
        const auto bytes = MakeWav(c.layout, c.data);
        auto reader = Open(bytes);
        EXPECT_FALSE(reader->IsReady()) << c.what;
        EXPECT_EQ(reader->GetOutputSampleCount(), 0u) << c.what;
        EXPECT_EQ(reader->ReadBlock(block), 0u) << c.what;
        reader->Rewind();
    }
    EXPECT_TRUE(Open(MakeWav(Layout(), data))->IsReady());
    EXPECT_FALSE(IsReady(nullptr));
}

// The usable data is what the size word says, cut to the bytes in the file and to whole samples.
TEST(MusicFileReaderWav, DataSizeIsCutToTheFileAndToWholeSamples) {
    const auto ramp = Ramp(1000);
    for (auto [dataSize, samples] : {std::pair{0x7FFFFFF0u, 1000u}, {601u, 300u}}) {
        const auto bytes = MakeWav(Sized(Layout(), dataSize), test::SampleBytes(ramp));
        auto reader = Open(bytes);
        ASSERT_TRUE(reader->IsReady()) << dataSize;
        EXPECT_EQ(reader->GetOutputSampleCount(), samples);
        EXPECT_EQ(ReadAll(*reader), std::vector<int16_t>(ramp.begin(), ramp.begin() + samples));
    }
}

TEST(MusicFileReaderWav, DataTagIsSearchedWithinTheWindowOnly) {
    const auto samples = Ramp(50);
    // The search starts at byte 36; "data" found at 36 + 2048 is the last place it may be.
    WavLayout edge;
    edge.chunksBeforeData = test::UnknownChunk(2048 - 8);
    auto atEdge = MakeWav(edge, test::SampleBytes(samples));
    ASSERT_EQ(std::memcmp(atEdge.data() + 36 + 2048, "data", 4), 0);
    auto reader = Open(atEdge);
    ASSERT_TRUE(reader->IsReady());
    EXPECT_EQ(ReadAll(*reader), samples);

    WavLayout beyond;
    beyond.chunksBeforeData = test::UnknownChunk(2049 - 8);
    EXPECT_FALSE(Open(MakeWav(beyond, test::SampleBytes(samples)))->IsReady());

    // Several unknown chunks, as a list or broadcast header would leave.
    WavLayout several;
    for (uint32_t size : {4u, 26u, 300u}) {
        auto c = test::UnknownChunk(size);
        several.chunksBeforeData.insert(several.chunksBeforeData.end(), c.begin(), c.end());
    }
    const auto severalBytes = MakeWav(several, test::SampleBytes(samples));
    reader = Open(severalBytes);
    ASSERT_TRUE(reader->IsReady());
    EXPECT_EQ(ReadAll(*reader), samples);
}

TEST(MusicFileReaderWav, RateOfOneHertzSaturatesTheCount) {
    const auto bytes = MakePcmWav(1, 1, std::vector<int16_t>(140000, 5));
    auto reader = Open(bytes);
    ASSERT_TRUE(reader->IsReady());
    EXPECT_EQ(reader->GetOutputSampleCount(), 0xFFFFFFFFu);
    int16_t block[1152];
    for (int i = 0; i < 200; ++i) ASSERT_EQ(reader->ReadBlock(block), 1152u);
    EXPECT_EQ(block[0], 4);  // 5 / 32768 * 32767, rounded down
}
