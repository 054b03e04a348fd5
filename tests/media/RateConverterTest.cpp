#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

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
    EXPECT_EQ(c.converter->OutputTotal(), 32000u);  // 32000.7 rounded down
    const auto first = ReadAll(*c.converter);
    EXPECT_EQ(first[0], -499);  // (1001 - 2000) / 2, truncated toward zero
    c.converter->Rewind();
    EXPECT_EQ(ReadAll(*c.converter), first);
}

TEST(RateConverter, DoublingTheRateKeepsEveryInputSampleAndInterpolatesBetween) {
    const auto samples = Noise(5000, -32768, 32767, 1);
    WavConversion c(1, 16000, samples);
    EXPECT_EQ(c.converter->OutputTotal(), 10000u);
    const auto out = ReadAll(*c.converter);
    // Input frames 4998 and 4999 are only neighbours: the stream ends before them.
    ASSERT_EQ(out.size(), 2 * 4998u);
    for (size_t j = 0; 2 * j < out.size(); ++j) ASSERT_EQ(out[2 * j], samples[j]) << j;
    // Between frames 0, 1 and 2 the midpoint is the raised-cosine mean, rounded down.
    for (size_t j = 0; j < 2; ++j)
        EXPECT_EQ(out[2 * j + 1], static_cast<int16_t>(std::floor((samples[j] + samples[j + 1]) / 65536.0 * 32767.0)));
    // Later, the cubic reproduces the midpoint of a ramp.
    std::vector<int16_t> ramp(400);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(-16000 + 64 * i);
    WavConversion r(1, 16000, ramp);
    const auto mid = ReadAll(*r.converter);
    for (size_t j = 2; 2 * j + 1 < mid.size(); ++j)
        ASSERT_EQ(mid[2 * j + 1], static_cast<int16_t>(std::trunc((ramp[j] + 32.0) / 32768.0 * 32767.0))) << j;
}

TEST(RateConverter, FullScaleNeverGivesMinus32768ExceptOnExactHits) {
    std::vector<int16_t> alternating(3000);  // makes the cubic overshoot
    for (size_t i = 0; i < alternating.size(); ++i) alternating[i] = (i / 2) % 2 ? 32767 : -32767;
    for (uint16_t channels : {1, 2}) {
        for (uint32_t rate : {8000u, 22050u, 44100u}) {
            WavConversion c(channels, rate, alternating);
            const auto out = ReadAll(*c.converter);
            EXPECT_EQ(*std::min_element(out.begin(), out.end()), -32767) << rate << " " << channels;
        }
    }
    // At 16 kHz even outputs fall on input frames and copy them (-32768 too); odd ones are
    // interpolated and so clamped.
    for (uint16_t channels : {1, 2}) {
        WavConversion c(channels, 16000, std::vector<int16_t>(3000 * channels, -32768));
        const auto hits = ReadAll(*c.converter);
        for (size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i], i % 2 ? -32767 : -32768) << i;
    }
}

TEST(RateConverter, LastBlockIsPaddedAndShortSourcesYieldNothing) {
    WavConversion c(1, 48000, Noise(3000, -1000, 1000, 3));
    EXPECT_EQ(c.converter->OutputTotal(), 2000u);
    int16_t block[1152];
    ASSERT_EQ(c.converter->ReadBlock(block), 1152u);
    const uint32_t n = c.converter->ReadBlock(block);
    EXPECT_TRUE(n >= 845u && n <= 848u) << n;  // 2000 - 1152 less the tail that runs out of neighbours
    EXPECT_TRUE(std::all_of(block + n, block + 1152, [](int16_t s) { return s == 0; }));
    std::fill(block, block + 1152, int16_t{77});
    EXPECT_EQ(c.converter->ReadBlock(block), 0u);
    EXPECT_EQ(block[0], 77);  // the block is left as it was

    WavConversion two(2, 16000, std::vector<int16_t>(4, 1000));  // two stereo frames
    EXPECT_EQ(two.converter->ReadBlock(block), 0u);
    WavConversion three(1, 16000, {0, 3000, 6000});
    EXPECT_EQ(ReadAll(*three.converter).size(), 4u);  // positions 0 to 1.5: the raised cosine only
}
