#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "DecodedFrames.h"
#include "EncoderTestSignals.h"
#include "mp3enc/Mp3Encoder.h"
#include "support/TestSupport.h"

namespace sonotrap {
namespace {

// Samples between an input sample and the same sample in the decoded output: the encoder's
// filterbank and MDCT delay plus the decoder's (FFmpeg's and the project's alike).
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
    d.samples = test::ReadPcm16(out);
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

// Every signal decodes through the project's own decoder and FFmpeg (when there), both delayed
// by kDecodedDelay (the best alignment, checked on the sweep), every granule ending at its
// length; FFmpeg must not complain. Measured (own / FFmpeg):
// sweep 51.5 / 51.5 dB, sine 60.6 / 60.6, white noise 6.1 / 6.1 (1.85 bits a line and no
// psychoacoustic model), clipped square 44.5 / 44.4 (the case that met stale magnitudes),
// own click 6.0, own quiet tone 139; each floor about 1 dB below. Silence with a lone click
// (hard at 1068 bits a granule) and quiet audio after silence must decode cleanly too.
TEST(EncoderRoundTrip, SignalToNoiseOfEachSignal) {
    std::vector<int16_t> click(32000, 0);
    click[5000] = 20000;
    const std::vector<int16_t> quiet = enctest::SineWave(300, -80, 0.5);
    std::copy(quiet.begin(), quiet.end(), click.begin() + 16000);
    const struct {
        const char* name;
        std::vector<int16_t> input;
        double minOwnSnrDb, minFfmpegSnrDb;
    } cases[] = {
        {"sweep 50 Hz-15 kHz", enctest::LogSweep(50, 15000, -6, 3.0), 50.5, 50.5},
        {"sine 1 kHz -6 dBFS", enctest::SineWave(1000, -6, 2.0), 59.5, 59.5},
        {"white noise -20 dBFS", enctest::WhiteNoise(-20, 2.0), 5.0, 5.0},
        {"clipped square", enctest::ClippedSquare(220, 2.0), 43.4, 43.4},
        {"click and quiet tone", click, 5.0, 3.0},
        {"quiet tone", quiet, 30.0, 10.0},
    };
    const bool ffmpeg = test::HaveCommand("ffmpeg");
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Mp3Encoder encoder;
        ASSERT_TRUE(encoder.Initialise(64));
        const std::vector<uint8_t> mp3 = enctest::EncodeAll(encoder, c.input);
        const std::vector<int16_t> own = enctest::DecodePcm(mp3);
        EXPECT_EQ(own.size(), (mp3.size() / 288 - 1) * 1152);
        for (const enctest::DecodedFrame& f : enctest::DecodeStreamLines(mp3, 288)) {
            for (const auto& g : f.granules) ASSERT_TRUE(g[0].cleanEnd) << "a granule ends inside a code";
        }
        const double snr = SnrDb(c.input, own, kDecodedDelay);
        EXPECT_GT(snr, c.minOwnSnrDb);
        if (&c == &cases[0]) {
            for (size_t delay = 0; delay < 2000; ++delay) ASSERT_LE(SnrDb(c.input, own, delay), snr) << delay;
        }
        if (!ffmpeg) continue;
        const Decoded d = DecodeWithFfmpeg(dir, mp3);
        for (const std::string& line : d.complaints) ADD_FAILURE() << line;
        EXPECT_EQ(d.samples.size(), mp3.size() / 288 * 1152);
        EXPECT_GT(SnrDb(c.input, d.samples, kDecodedDelay), c.minFfmpegSnrDb);
    }
}

}  // namespace
}  // namespace sonotrap
