#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "media/MusicFileReader.h"
#include "media/RateConverter.h"
#include "media/WavDataReader.h"
#include "support/WavBytes.h"

using namespace sonotrap;
using test::MakePcmWav;
using test::ReadAll;

namespace {

// A converter over a WAV source built from samples, converting to 32000 Hz.
struct WavConversion {
    WavConversion(uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples)
        : bytes(MakePcmWav(channels, rate, samples)) {
        EXPECT_TRUE(wav.ParseRiffHeader(bytes.data(), bytes.size()));
        converter = RateConverter::Create(&wav, nullptr, wav.Format(), 32000.0 / rate, rate / 32000.0);
    }
    std::vector<uint8_t> bytes;
    WavDataReader wav;
    std::unique_ptr<RateConverter> converter;
};

std::vector<int16_t> Noise(size_t count, int lo, int hi, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(lo, hi);
    std::vector<int16_t> v(count);
    for (auto& s : v) s = static_cast<int16_t>(dist(gen));
    return v;
}

}  // namespace

TEST(RateConverter, StereoFrom44100StartsWithTheMeanOfTheFirstPairAndRewinds) {
    auto samples = test::Sine(1000, 44100, 44101, 0.8, 2);
    samples[0] = 1001;
    samples[1] = -2000;
    WavConversion c(2, 44100, samples);
    ASSERT_TRUE(c.converter);
    EXPECT_DOUBLE_EQ(c.converter->Step(), 1.378125);
    EXPECT_EQ(c.converter->OutputTotal(), 32000u);  // 32000.7 rounded down
    int16_t block[1152];
    ASSERT_EQ(c.converter->ReadBlock(block), 1152u);
    EXPECT_EQ(block[0], -499);  // (1001 - 2000) / 2, truncated toward zero
    // Rewind replays identical blocks.
    const auto rest = ReadAll(*c.converter);
    c.converter->Rewind();
    int16_t again[1152];
    ASSERT_EQ(c.converter->ReadBlock(again), 1152u);
    EXPECT_TRUE(std::equal(block, block + 1152, again));
    EXPECT_EQ(ReadAll(*c.converter), rest);
}

TEST(RateConverter, DoublingTheRateKeepsEveryInputSampleBitForBit) {
    const auto samples = Noise(5000, -32768, 32767, 1);
    WavConversion c(1, 16000, samples);
    ASSERT_TRUE(c.converter);
    EXPECT_DOUBLE_EQ(c.converter->Step(), 0.5);
    EXPECT_EQ(c.converter->OutputTotal(), 10000u);
    const auto out = ReadAll(*c.converter);
    // Input frames 4998 and 4999 are only neighbours: the stream ends before them.
    ASSERT_EQ(out.size(), 2 * 4998u);
    for (size_t j = 0; 2 * j < out.size(); ++j) ASSERT_EQ(out[2 * j], samples[j]) << j;
    // Between frames 0, 1 and 2 the midpoint is the raised-cosine mean, rounded down.
    for (size_t j = 0; j < 2; ++j) {
        const double mean = (samples[j] + samples[j + 1]) / 65536.0;
        EXPECT_EQ(out[2 * j + 1], static_cast<int16_t>(std::floor(mean * 32767.0))) << j;
    }
}

TEST(RateConverter, CubicReproducesTheMidpointOfARamp) {
    std::vector<int16_t> samples(400);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(-16000 + 64 * i);
    WavConversion c(1, 16000, samples);
    const auto out = ReadAll(*c.converter);
    for (size_t j = 2; 2 * j + 1 < out.size(); ++j) {
        const double mid = (samples[j] + 32.0) / 32768.0 * 32767.0;
        ASSERT_EQ(out[2 * j + 1], static_cast<int16_t>(std::trunc(mid))) << j;
    }
}

TEST(RateConverter, FullScaleNeverGivesMinus32768ExceptOnExactHits) {
    const std::vector<std::vector<int16_t>> inputs = {
        std::vector<int16_t>(3000, 32767), std::vector<int16_t>(3000, -32767),
        Noise(3000, -32767, 32767, 2),
        [] {  // alternating extremes make the cubic overshoot
            std::vector<int16_t> v(3000);
            for (size_t i = 0; i < v.size(); ++i) v[i] = (i / 2) % 2 ? 32767 : -32767;
            return v;
        }()};
    for (const auto& samples : inputs) {
        for (uint16_t channels : {1, 2}) {
            for (uint32_t rate : {8000u, 22050u, 44100u, 48000u}) {
                WavConversion c(channels, rate, samples);
                const auto out = ReadAll(*c.converter);
                ASSERT_FALSE(out.empty());
                EXPECT_GE(*std::min_element(out.begin(), out.end()), -32767) << rate << " " << channels;
                EXPECT_LE(*std::max_element(out.begin(), out.end()), 32767);
            }
        }
    }
    WavConversion top(1, 22050, std::vector<int16_t>(3000, 32767));
    const auto out = ReadAll(*top.converter);
    EXPECT_EQ(*std::max_element(out.begin() + 1, out.end()), 32766);  // 32767/32768 x 32767
    // At 16 kHz even outputs fall on input frames and copy them (-32768 too); odd ones are
    // interpolated and so clamped.
    for (uint16_t channels : {1, 2}) {
        WavConversion c(channels, 16000, std::vector<int16_t>(3000 * channels, -32768));
        const auto hits = ReadAll(*c.converter);
        for (size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i], i % 2 ? -32767 : -32768) << i;
    }
}

TEST(RateConverter, LastBlockIsPaddedAndThenTheStreamHasEnded) {
    WavConversion c(1, 48000, Noise(3000, -1000, 1000, 3));
    EXPECT_EQ(c.converter->OutputTotal(), 2000u);
    int16_t block[1152];
    ASSERT_EQ(c.converter->ReadBlock(block), 1152u);
    std::fill(block, block + 1152, int16_t{77});
    const uint32_t n = c.converter->ReadBlock(block);
    EXPECT_GE(n, 845u);  // 2000 - 1152 less the tail that runs out of neighbours
    EXPECT_LE(n, 848u);
    EXPECT_TRUE(std::all_of(block + n, block + 1152, [](int16_t s) { return s == 0; }));
    std::fill(block, block + 1152, int16_t{77});
    EXPECT_EQ(c.converter->ReadBlock(block), 0u);
    EXPECT_EQ(block[0], 77);  // the block is left as it was
    EXPECT_EQ(c.converter->ReadBlock(block), 0u);
}

TEST(RateConverter, FewerThanThreeFramesYieldNothing) {
    for (size_t frames : {1u, 2u}) {
        WavConversion c(2, 16000, std::vector<int16_t>(2 * frames, 1000));
        ASSERT_TRUE(c.converter);
        EXPECT_EQ(c.converter->OutputTotal(), 2 * frames);
        int16_t block[1152];
        EXPECT_EQ(c.converter->ReadBlock(block), 0u);
    }
    WavConversion three(1, 16000, {0, 3000, 6000});
    EXPECT_EQ(ReadAll(*three.converter).size(), 4u);  // positions 0 to 1.5: the raised cosine only
}

TEST(RateConverter, VeryLowRateStaysOnTheRaisedCosineAcrossBlocks) {
    // At 20 Hz the first two input frames span 3200 output samples, almost three blocks.
    WavConversion c(1, 20, {0, 16384, -16384, 0, 0, 0, 0, 0});
    ASSERT_TRUE(c.converter);
    const auto out = ReadAll(*c.converter);
    ASSERT_GT(out.size(), 3200u);
    EXPECT_EQ(out[0], 0);
    EXPECT_NEAR(out[1600], 16384, 1);  // on frame 1, but for the rounding of the summed steps
    EXPECT_NEAR(out[3200], -16384, 1);
    for (size_t i = 1; i < 1600; ++i) ASSERT_LE(out[i - 1], out[i]) << i;   // rising to frame 1
    for (size_t i = 1601; i < 3200; ++i) ASSERT_GE(out[i - 1], out[i]) << i; // falling to frame 2
}

// A 1 kHz tone through the reader against the ideal resampling: the tone itself at 32 kHz,
// scaled by the converter's 32767/32768, outputs within 64 of either end left out.
TEST(RateConverterQuality, SineSignalToNoiseFromCommonRates) {
    // Floors a few dB below what the converter measures, so a real regression fails.
    for (auto [rate, minSnrDb] :
         {std::pair{44100u, 37.0}, {48000u, 53.0}, {22050u, 31.0}, {16000u, 35.0}, {8000u, 22.0}}) {
        const auto wav = MakePcmWav(1, rate, test::Sine(1000.0, rate, 2 * rate, 0.5));
        auto reader = MusicFileReader::Create(wav.data(), wav.size(), 32000, nullptr);
        ASSERT_TRUE(IsReady(reader.get()));
        const auto out = ReadAll(*reader);
        double signal = 0.0, noise = 0.0;
        for (size_t i = 64; i + 64 < out.size(); ++i) {
            const double ideal = 0.5 * 32767.0 * std::sin(2.0 * M_PI * 1000.0 * i / 32000.0) * (32767.0 / 32768.0);
            signal += ideal * ideal;
            noise += (out[i] - ideal) * (out[i] - ideal);
        }
        EXPECT_GE(10.0 * std::log10(signal / noise), minSnrDb) << rate;
    }
}
