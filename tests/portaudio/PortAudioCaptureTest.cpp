#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <tuple>
#include <vector>

#include "log/DiagnosticLog.h"
#include "capture/CaptureDevice.h"
#include "capture/CaptureSettings.h"
#include "app/PlaybackOutput.h"
#include "adapters/portaudio/CaptureRateConverter.h"
#include "adapters/portaudio/CaptureRing.h"
#include "adapters/portaudio/PortAudioCaptureBuffer.h"
#include "adapters/portaudio/PortAudioSession.h"
#include "adapters/portaudio/PortAudioSoundBuffer.h"
#include "support/TestSupport.h"

namespace sonotrap::test {
namespace {

std::vector<int16_t> Sine(double hz, double rate, size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(std::lround(30000.0 * std::sin(2.0 * M_PI * hz * i / rate)));
    return s;
}

// Level in dBFS of the strongest tone between lowHz and highHz (Hann-windowed DFT, 10 Hz steps).
double PeakDbfs(const std::vector<int16_t>& s, double rate, double lowHz, double highHz) {
    double best = 0.0;
    for (double hz = lowHz; hz <= highHz; hz += 10.0) {
        double re = 0.0, im = 0.0;
        for (size_t i = 0; i < s.size(); ++i) {
            const double w = 0.5 - 0.5 * std::cos(2.0 * M_PI * i / s.size());
            re += w * s[i] * std::cos(2.0 * M_PI * hz * i / rate);
            im += w * s[i] * std::sin(2.0 * M_PI * hz * i / rate);
        }
        best = std::max(best, std::hypot(re, im) * 4.0 / s.size() / 32768.0);
    }
    return 20.0 * std::log10(best + 1e-12);
}

// A device at 48 or 44.1 kHz: a 20 kHz tone would fold to 12 kHz without the anti-alias
// filter; a 1 kHz tone keeps its level. Odd chunk sizes, as callbacks deliver them.
TEST(CaptureRateConverter, FiltersWhatWouldFoldAndKeepsTheBand) {
    for (const double rate : {48000.0, 44100.0}) {
        for (const auto& [hz, low, high, lowestDb, highestDb] :
             {std::tuple{20000.0, 11000.0, 13000.0, -200.0, -70.0}, {1000.0, 950.0, 1050.0, -0.1, 0.1}}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, tone " << hz);
            const auto in = Sine(hz, rate, static_cast<size_t>(rate));
            CaptureRateConverter converter(rate);
            ASSERT_TRUE(converter.IsReady());
            std::vector<int16_t> out, chunk(converter.MaxOutput());
            for (size_t at = 0; at < in.size(); at += 441) {
                const size_t n = converter.Convert(in.data() + at, std::min<size_t>(441, in.size() - at), chunk.data());
                out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<long>(n));
            }
            ASSERT_GT(out.size(), 24000u);
            const std::vector<int16_t> steady(out.end() - 16384, out.end());  // past the filter's delay
            const double outDb = PeakDbfs(steady, 32000.0, low, high);
            // The alias's level in dBFS; the kept tone's against its input level.
            const double db = hz == 1000.0 ? outDb - PeakDbfs(in, rate, hz - 50.0, hz + 50.0) : outDb;
            EXPECT_GE(db, lowestDb);
            EXPECT_LE(db, highestDb);
        }
    }
}

// The ring behind a live device: a writer thread delivers 3.5 blocks in callback-sized pieces
// and never waits; the reader gets notifications 0, 1, 2 in order and each block's samples.
TEST(CaptureRing, PublishesWholeBlocksInOrderWithoutHoldingTheWriter) {
    CaptureNotifications notifications;
    CaptureRing ring(kCaptureSampleRate);
    ring.Bind(&notifications);
    ring.Begin();
    std::vector<int16_t> samples(2304 * 7 / 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i);
    std::thread writer([&] {
        for (size_t at = 0; at < samples.size(); at += 1000)
            ring.Write(samples.data() + at, std::min<size_t>(1000, samples.size() - at));
    });
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(notifications.WaitAny(5000), k) << "block " << k << " was not announced";
        const CaptureRegions r = ring.Regions(static_cast<uint32_t>(k) * kCaptureBlockBytes, kCaptureBlockBytes);
        std::vector<int16_t> block(2304);
        std::memcpy(block.data(), r.first, r.firstBytes);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), samples.begin() + k * 2304)) << k;
    }
    writer.join();
    ring.End();
    EXPECT_EQ(notifications.WaitAny(0), CaptureNotifications::kTimedOut);  // half a block is no block
}

// Starting PortAudio must leave the process's stderr alone: another thread writing to it
// meanwhile loses nothing.
TEST(PortAudioSession, LeavesStderrToTheOtherThreads) {
    TempDir dir;
    const int file = open(dir.File("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    const int saved = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
    std::atomic<bool> done{false};
    int written = 0;
    std::thread writer([&] {
        for (; !done || written < 10; ++written) {
            if (write(STDERR_FILENO, "mark\n", 5) != 5) break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    { PortAudioSession session; }
    done = true;
    writer.join();
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(file);
    const std::string text = ReadFileText(dir.File("stderr.txt"));
    int marks = 0;
    for (size_t at = text.find("mark\n"); at != std::string::npos; at = text.find("mark\n", at + 1)) ++marks;
    EXPECT_EQ(marks, written);
}

// With no sound device (the usual case on a build machine) capture and playback take their
// failure paths; the end-to-end scripts record and play on a sound server.
TEST(PortAudio, FailsCleanlyWithoutADevice) {
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
    const std::unique_ptr<SoundOutput> output = OpenPortAudioSoundOutput();
    ASSERT_NE(output, nullptr);
    std::unique_ptr<SoundBuffer> probe;
    if (haveDevice || output->CreateSoundBuffer(&probe) != kSoundNoDevice) GTEST_SKIP() << "a sound device is there";
    EXPECT_FALSE(ready);
    EXPECT_FALSE(device.StartCapture(true));
    PlaybackOutput playback(output.get(), log);
    EXPECT_FALSE(playback.InitPlaybackOutput());
    EXPECT_FALSE(playback.StartPlaybackOutput());
    log.LogClose();
    const std::string text = ReadFileText(dir.File("Sonotrap.Log"));
    EXPECT_NE(text.find("Can't initialize DirectSound Capture!\nInitDSound failed!\n"), std::string::npos);
    EXPECT_NE(text.find("Failed: DirectSoundCreate!\n"), std::string::npos);
}

}  // namespace
}  // namespace sonotrap::test
