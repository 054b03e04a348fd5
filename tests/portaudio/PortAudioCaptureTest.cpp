#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "log/DiagnosticLog.h"
#include "capture/CaptureDevice.h"
#include "capture/CaptureSettings.h"
#include "adapters/portaudio/CaptureRateConverter.h"
#include "adapters/portaudio/PortAudioCaptureBuffer.h"
#include "support/TestSupport.h"

namespace sonotrap::test {
namespace {

std::vector<int16_t> Sine(double hz, double rate, size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(std::lround(10000.0 * std::sin(2.0 * M_PI * hz * i / rate)));
    return s;
}

// Same rate: the identity. 48 kHz: a third fewer samples, the tone kept, and the same output
// however the input is chunked.
TEST(CaptureRateConverter, KeepsTheToneAndTheDurationWhateverTheChunks) {
    for (const double rate : {32000.0, 48000.0}) {
        SCOPED_TRACE(rate);
        const auto in = Sine(1000.0, rate, static_cast<size_t>(rate));
        CaptureRateConverter chunked(rate), whole(rate);
        std::vector<int16_t> a, b;
        for (size_t at = 0; at < in.size(); at += 441) chunked.Convert(in.data() + at, std::min<size_t>(441, in.size() - at), &a);
        whole.Convert(in.data(), in.size(), &b);
        EXPECT_EQ(a, b);
        if (rate == 32000.0) {
            EXPECT_EQ(a, in);
            continue;
        }
        ASSERT_NEAR(static_cast<double>(a.size()), 32000.0, 1.0);
        const auto ideal = Sine(1000.0, 32000.0, a.size());
        double worst = 0.0;
        for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(static_cast<double>(a[i]) - ideal[i]));
        EXPECT_LT(worst, 60.0);  // linear interpolation of a 1 kHz tone: within 0.6 % of full swing
    }
}

// With no sound device (the usual case on a build machine) the capture side must take its
// failure path; with one, the buffer must deliver blocks with their notifications in order.
TEST(PortAudioCapture, OpensTheDefaultInputOrFailsCleanly) {
    TempDir dir;
    DiagnosticLog log;
    ASSERT_TRUE(log.LogOpen(dir.Path().string()));
    CaptureSettings settings;
    CaptureServices services;
    services.log = &log;
    services.settings = &settings;
    services.openInput = [] { return OpenPortAudioCaptureInput(); };
    const bool haveDevice = OpenPortAudioCaptureInput() != nullptr;
    CaptureDevice device(services);
    const bool ready = device.InitCapture();
    if (!haveDevice) {
        EXPECT_FALSE(ready);
        const std::string text = ReadFileText(dir.File("Sonotrap.Log"));
        EXPECT_NE(text.find("Can't initialize DirectSound Capture!\nInitDSound failed!\n"), std::string::npos);
        EXPECT_FALSE(device.StartCapture(true));
        return;
    }
    if (!ready) GTEST_SKIP() << "the default input refused a 16-bit mono stream";
    ASSERT_TRUE(device.StartCapture(true));
    for (int i = 0; i < 200 && device.BlocksCaptured() < 10; ++i) SleepMs(20);
    EXPECT_GE(device.BlocksCaptured(), 10u);
    device.StopCapture();
    device.ReleaseCapture();
}

}  // namespace
}  // namespace sonotrap::test
