#include <gtest/gtest.h>

#include "log/DiagnosticLog.h"
#include "app/PlaybackOutput.h"
#include "adapters/portaudio/PortAudioSoundBuffer.h"
#include "support/TestSupport.h"

namespace sonotrap::test {
namespace {

// A source whose refills the test can count (the wake event is answered on a helper thread).
struct CountingSource {
    uint8_t bytes[PlaybackOutput::kBlockBytes] = {};
    std::mutex lock;
    AutoResetEvent wake;
};

// With no sound device (the usual case on a build machine) the output must take its failure
// path; with one (a sound server running), the playback thread must keep refilling the buffer
// as the device takes it.
TEST(PortAudioPlayback, PlaysOnTheDefaultOutputOrFailsCleanly) {
    TempDir dir;
    DiagnosticLog log;
    ASSERT_TRUE(log.LogOpen(dir.Path().string()));
    const std::unique_ptr<SoundOutput> device = OpenPortAudioSoundOutput();
    ASSERT_NE(device, nullptr);
    std::unique_ptr<SoundBuffer> probe;
    const SoundResult probed = device->CreateSoundBuffer(&probe);
    probe.reset();
    PlaybackOutput output(device.get(), log);
    const bool ready = output.InitPlaybackOutput();
    if (probed == kSoundNoDevice) {
        EXPECT_FALSE(ready);
        EXPECT_FALSE(output.StartPlaybackOutput());
        log.LogClose();
        EXPECT_NE(ReadFileText(dir.File("Sonotrap.Log")).find("Failed: DirectSoundCreate!\n"), std::string::npos);
        return;
    }
    if (!ready) GTEST_SKIP() << "the default output refused a 16-bit mono stream at 32000 Hz";

    CountingSource source;
    output.SetSource(PlaybackSource{source.bytes, &source.lock, &source.wake});
    ASSERT_TRUE(output.StartPlaybackOutput());
    // The first refill comes after the buffer's silent lap (about 0.4 s); then one per 72 ms.
    int wakes = 0;
    for (int i = 0; i < 400 && wakes < 10; ++i) {
        if (source.wake.Wait(10)) ++wakes;
    }
    EXPECT_GE(wakes, 10);
    EXPECT_TRUE(output.IsThreadRunning());
    output.StopPlaybackOutput();
    EXPECT_FALSE(output.IsThreadRunning());
    output.ReleasePlaybackOutput();
}

TEST(PortAudioPlayback, CursorsStandStillUntilPlayAndTheWriteCursorLeadsByOneCallback) {
    const std::unique_ptr<SoundOutput> device = OpenPortAudioSoundOutput();
    std::unique_ptr<SoundBuffer> buffer;
    if (device->CreateSoundBuffer(&buffer) != kSoundOk) GTEST_SKIP() << "no output device";
    uint32_t play = 1, write = 1;
    ASSERT_EQ(buffer->SetCurrentPosition(22528), kSoundOk);
    ASSERT_EQ(buffer->GetCurrentPosition(&play, &write), kSoundOk);
    EXPECT_EQ(play, 22528u);
    EXPECT_EQ(write, 1536u);  // one callback (2048 bytes) on, wrapped
    EXPECT_EQ(buffer->SetCurrentPosition(kSoundBufferBytes), kSoundInvalidParam);
    SoundRegions regions;
    ASSERT_EQ(buffer->Lock(0, 5000, true, &regions), kSoundOk);
    EXPECT_EQ(regions.firstBytes, 5000u);
    EXPECT_EQ(regions.second, nullptr);
    ASSERT_EQ(buffer->Lock(20000, 5000, false, &regions), kSoundOk);
    EXPECT_EQ(regions.firstBytes, 3040u);
    EXPECT_EQ(regions.secondBytes, 1960u);
    EXPECT_EQ(buffer->Lock(0, kSoundBufferBytes + 1, false, &regions), kSoundInvalidParam);
    uint32_t status = 1;
    ASSERT_EQ(buffer->GetStatus(&status), kSoundOk);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(buffer->Play(), kSoundOk);
    ASSERT_EQ(buffer->GetStatus(&status), kSoundOk);
    EXPECT_EQ(status, kSoundStatusPlaying | kSoundStatusLooping);
    for (int i = 0; i < 200; ++i) {
        buffer->GetCurrentPosition(&play, nullptr);
        if (play != 22528u) break;
        SleepMs(10);
    }
    EXPECT_NE(play, 22528u);
    EXPECT_EQ(buffer->Stop(), kSoundOk);
}

}  // namespace
}  // namespace sonotrap::test
