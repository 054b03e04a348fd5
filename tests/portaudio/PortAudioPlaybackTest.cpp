#include <gtest/gtest.h>

#include "log/DiagnosticLog.h"
#include "app/PlaybackOutput.h"
#include "adapters/portaudio/PortAudioSoundBuffer.h"
#include "support/TestSupport.h"

namespace sonotrap::test {
namespace {

// With no sound device (the usual case on a build machine) the output takes its failure path.
TEST(PortAudioPlayback, FailsCleanlyWithoutADevice) {
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
    if (probed != kSoundNoDevice) GTEST_SKIP() << "a sound device is there: playback_real_audio.sh plays on it";
    EXPECT_FALSE(ready);
    EXPECT_FALSE(output.StartPlaybackOutput());
    log.LogClose();
    EXPECT_NE(ReadFileText(dir.File("Sonotrap.Log")).find("Failed: DirectSoundCreate!\n"), std::string::npos);
}

}  // namespace
}  // namespace sonotrap::test
