#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "EncoderTestSignals.h"
#include "mp3enc/Mp3Encoder.h"
#include "support/TestSupport.h"

namespace sonotrap {
namespace {

// Samples between an input sample and the same sample in FFmpeg's decoded output: the
// encoder's filterbank and MDCT delay plus the decoder's.
constexpr size_t kDecodedDelay = 1057;

struct Decoded {
    std::vector<int16_t> samples;
    std::vector<std::string> complaints;  // decoder or demuxer lines other than the raw-stream note
};

Decoded DecodeWithFfmpeg(const test::TempDir& dir, const std::vector<uint8_t>& mp3) {
    Decoded d;
    const std::string in = dir.File("in.mp3");
    const std::string out = dir.File("out.raw");
    const std::string log = dir.File("ffmpeg.log");
    EXPECT_TRUE(test::WriteFileBytes(in, mp3));
    const int rc = test::RunCommand("ffmpeg -hide_banner -nostats -v info -y -i '" + in +
                                    "' -f s16le -ac 1 -ar 32000 '" + out + "' 2>'" + log + "'");
    EXPECT_EQ(rc, 0);
    std::istringstream lines(test::ReadFileText(log));
    for (std::string line; std::getline(lines, line);) {
        const bool fromDecoder = line.rfind("[mp3", 0) == 0;
        const bool rawStreamNote = line.find("Estimating duration from bitrate") != std::string::npos;
        if ((fromDecoder && !rawStreamNote) || line.find("overread") != std::string::npos ||
            line.find("rror") != std::string::npos) {
            d.complaints.push_back(line);
        }
    }
    const std::vector<uint8_t> raw = test::ReadFileBytes(out);
    d.samples.resize(raw.size() / 2);
    for (size_t i = 0; i < d.samples.size(); ++i) d.samples[i] = static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
    return d;
}

double SnrDb(const std::vector<int16_t>& input, const std::vector<int16_t>& decoded, size_t delay) {
    double signal = 0;
    double noise = 0;
    for (size_t i = 0; i < input.size() && i + delay < decoded.size(); ++i) {
        const double x = input[i];
        const double e = x - decoded[i + delay];
        signal += x * x;
        noise += e * e;
    }
    return 10 * std::log10(signal / std::max(noise, 1e-9));
}

class EncoderFfmpegRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::HaveCommand("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    }
    // Encodes, decodes with FFmpeg, checks the decoder said nothing and returns the SNR.
    double RoundTripSnr(const std::vector<int16_t>& input) {
        Mp3Encoder encoder;
        EXPECT_TRUE(encoder.Initialise(64));
        const std::vector<uint8_t> mp3 = enctest::EncodeAll(encoder, input);
        const Decoded d = DecodeWithFfmpeg(dir, mp3);
        for (const std::string& line : d.complaints) ADD_FAILURE() << line;
        EXPECT_EQ(d.samples.size(), mp3.size() / 288 * 1152);
        const double snr = SnrDb(input, d.samples, kDecodedDelay);
        RecordProperty("snr_db", std::to_string(snr));
        return snr;
    }
    test::TempDir dir;
};

TEST_F(EncoderFfmpegRoundTrip, DelayIsFixed) {
    const std::vector<int16_t> sweep = enctest::LogSweep(50, 15000, -6, 1.0);
    Mp3Encoder encoder;
    ASSERT_TRUE(encoder.Initialise(64));
    const Decoded d = DecodeWithFfmpeg(dir, enctest::EncodeAll(encoder, sweep));
    size_t best = 0;
    double bestSnr = -1e9;
    for (size_t delay = 0; delay < 2000; ++delay) {
        const double snr = SnrDb(sweep, d.samples, delay);
        if (snr > bestSnr) {
            bestSnr = snr;
            best = delay;
        }
    }
    EXPECT_EQ(best, kDecodedDelay);
}

// Measured: 60.6 dB (sine), 51.5 dB (sweep), 6.1 dB (white noise: 1.85 bits a line and no
// psychoacoustic model), 44.4 dB (clipped square); each asserted about 1 dB below.
TEST_F(EncoderFfmpegRoundTrip, SineAtMinus6Dbfs) { EXPECT_GT(RoundTripSnr(enctest::SineWave(1000, -6, 2.0)), 59.5); }

TEST_F(EncoderFfmpegRoundTrip, Sweep50HzTo15kHz) { EXPECT_GT(RoundTripSnr(enctest::LogSweep(50, 15000, -6, 3.0)), 50.5); }

TEST_F(EncoderFfmpegRoundTrip, WhiteNoiseAtMinus20Dbfs) { EXPECT_GT(RoundTripSnr(enctest::WhiteNoise(-20, 2.0)), 5.0); }

TEST_F(EncoderFfmpegRoundTrip, LoudClippedSquare) { EXPECT_GT(RoundTripSnr(enctest::ClippedSquare(220, 2.0)), 43.4); }

// Silence, a lone click and quiet audio after silence decode without complaint too.
TEST_F(EncoderFfmpegRoundTrip, SilenceAndQuietAudio) {
    std::vector<int16_t> input(32000, 0);
    input[5000] = 20000;
    const std::vector<int16_t> quiet = enctest::SineWave(300, -80, 0.5);
    std::copy(quiet.begin(), quiet.end(), input.begin() + 16000);
    EXPECT_GT(RoundTripSnr(input), 3.0);  // a lone full-band click is hard at 1068 bits a granule
    EXPECT_GT(RoundTripSnr(quiet), 10.0);
}

}  // namespace
}  // namespace sonotrap
