#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "media/MusicFileReader.h"
#include "media/WavBytes.h"
#include "support/TestSupport.h"

using namespace sonotrap;

namespace {

constexpr double kToneHz = 1000.0;
constexpr double kAmplitude = 0.5;
constexpr size_t kEdge = 64;  // outputs left out at either end, where the filters have no history

double SnrDb(const std::vector<double>& reference, const std::vector<int16_t>& out) {
    double signal = 0.0, noise = 0.0;
    const size_t n = std::min(reference.size(), out.size());
    for (size_t i = kEdge; i + kEdge < n; ++i) {
        signal += reference[i] * reference[i];
        noise += (out[i] - reference[i]) * (out[i] - reference[i]);
    }
    return 10.0 * std::log10(signal / noise);
}

std::vector<int16_t> Convert(const std::vector<uint8_t>& wav) {
    auto reader = MusicFileReader::Create(wav.data(), wav.size(), 32000, nullptr);
    EXPECT_TRUE(IsReady(reader.get()));
    return test::ReadAll(*reader);
}

// The same file resampled by sox's very-high-quality linear-phase filter, undithered.
std::vector<double> SoxReference(const std::vector<uint8_t>& wav) {
    test::TempDir dir;
    test::WriteFileBytes(dir.File("in.wav"), wav);
    const std::string cmd = "sox -D '" + dir.File("in.wav") + "' -b 16 '" + dir.File("out.raw") +
                            "' rate -v 32000 2>/dev/null";
    if (test::RunCommand(cmd) != 0) return {};
    const std::vector<int16_t> out = test::ReadPcm16(dir.File("out.raw"));
    return std::vector<double>(out.begin(), out.end());
}

}  // namespace

// The converter's output for a 1 kHz tone against the ideal resampling: the tone itself at
// 32 kHz (scaled by the converter's 32767/32768), and sox's resampling when sox is installed.
TEST(RateConverterQuality, SineSignalToNoiseFromCommonRates) {
    struct Case { uint32_t rate; double minSnrDb; };
    // Floors a few dB below what the converter measures, so a real regression fails.
    const Case cases[] = {{44100, 37.0}, {48000, 53.0}, {22050, 31.0}, {16000, 35.0}, {8000, 22.0}};
    const bool haveSox = test::HaveCommand("sox");
    for (const auto& c : cases) {
        const auto wav = test::MakePcmWav(1, c.rate, test::Sine(kToneHz, c.rate, 2 * c.rate, kAmplitude));
        const auto out = Convert(wav);
        std::vector<double> ideal(out.size());
        for (size_t i = 0; i < ideal.size(); ++i)
            ideal[i] = kAmplitude * 32767.0 * std::sin(2.0 * M_PI * kToneHz * i / 32000.0) * (32767.0 / 32768.0);
        const double snr = SnrDb(ideal, out);
        std::printf("[ quality  ] %5u Hz -> 32000 Hz: SNR %.1f dB against the ideal tone", c.rate, snr);
        if (haveSox) {
            const auto sox = SoxReference(wav);
            if (!sox.empty()) std::printf(", %.1f dB against sox rate -v", SnrDb(sox, out));
        }
        std::printf("\n");
        EXPECT_GE(snr, c.minSnrDb) << c.rate;
    }
}
