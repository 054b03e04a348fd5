#include <gtest/gtest.h>

#include <cmath>

#include "LoadedMusicSupport.h"
#include "log/DiagnosticLog.h"
#include "app/LoadedMusic.h"
#include "support/FakeMainWindow.h"

using namespace sonotrap;
using namespace sonotrap::test;

namespace {

constexpr size_t kBlock = LoadedMusic::kMusicBlockSamples;

struct MusicRig {
    TempDir dir;
    DiagnosticLog log;
    FakeMainWindow window;
    RecordingDisplay display;
    StepClock clock;
    std::vector<int16_t> file;
    LoadedMusic music{&window, log, &display, nullptr, clock};

    MusicRig() { log.LogOpen(dir.Path().string()); }
    // Writes a WAV of samples and loads it; true when the file is loaded and its thread runs.
    bool Load(std::vector<int16_t> samples) {
        file = std::move(samples);
        const std::string path = dir.File("music.wav");
        return WriteMonoWav(path, file) && music.MapMusicFile(path) && music.OpenMusic() != nullptr;
    }
    // One tick through the event service thread.
    void Wake() {
        const uint32_t before = music.TicksCompleted();
        music.Source().wake->Set();
        ASSERT_TRUE(WaitForTicks(music, before + 1));
    }
    std::string LogText() {
        log.LogClose();
        return ReadFileText(dir.File("Sonotrap.Log"));
    }
};

}  // namespace

// The pipeline starts zeroed; its newest two slots are the playback source.
TEST(LoadedMusicPipeline, EachTickMovesTwoNewBlocksIntoSlots14And15AndShiftsTheRestDown) {
    MusicRig rig;
    ASSERT_TRUE(rig.Load(CountingSamples(40 * kBlock)));
    EXPECT_EQ(rig.music.Source().bytes, rig.music.SampleBuffer() + 32768);
    for (uint32_t i = 0; i < LoadedMusic::kSampleBufferBytes; ++i) ASSERT_EQ(rig.music.SampleBuffer()[i], 0) << i;
    rig.Wake();
    EXPECT_EQ(SlotSamples(rig.music, 14), FileBlock(rig.file, 0));
    EXPECT_EQ(SlotSamples(rig.music, 15), FileBlock(rig.file, 1));
    for (int k = 0; k < 14; ++k) EXPECT_EQ(SlotSamples(rig.music, k), std::vector<int16_t>(kBlock, 0));
    for (int t = 0; t < 8; ++t) rig.Wake();
    // Nine ticks, eighteen blocks: slot k holds block k + 2.
    for (int k = 0; k < 16; ++k) EXPECT_EQ(SlotSamples(rig.music, k), FileBlock(rig.file, k + 2)) << k;
    EXPECT_EQ(rig.music.BlocksAnalysed(), 18u);
    EXPECT_EQ(rig.music.ElapsedSamples(), 18u * kBlock);
}

TEST(LoadedMusicDisplay, TheFirstNineBlocksAreNotShownAndMetersWaitForAReadyDisplay) {
    for (const bool ready : {true, false}) {
        MusicRig rig;
        rig.display.ready = ready;
        ASSERT_TRUE(rig.Load(CountingSamples(40 * kBlock)));
        for (int t = 0; t < 4; ++t) rig.Wake();
        EXPECT_TRUE(rig.display.Shows().empty());  // eight blocks
        rig.Wake();                                // blocks nine and ten
        ASSERT_EQ(rig.display.Shows().size(), 1u);
        rig.Wake();
        const std::vector<RecordingDisplay::Shown> shows = rig.display.Shows();
        ASSERT_EQ(shows.size(), 3u);
        for (const auto& shown : shows) {
            EXPECT_EQ(shown.meters, ready);
            EXPECT_TRUE(shown.drawn);  // the graph is drawn all the same
        }
        EXPECT_TRUE(rig.display.bandWasZero);
        EXPECT_FALSE(rig.display.kilobytesSeen);
    }
}

TEST(LoadedMusicDisplay, ShowsTheWindowTheBlockLevelOfSlots6And7AndThePlayingTime) {
    MusicRig rig;
    // At the tenth analysis slots 6 and 7 hold silence and the file's block 0, slot 8 block 1.
    // The level comes from slots 6 and 7 only: block 0's deepest sample, not block 1's peak.
    std::vector<int16_t> samples = CountingSamples(60 * kBlock);
    for (auto& s : samples) s = static_cast<int16_t>(s % 100);
    samples[7] = -16384;
    samples[kBlock + 7] = 32767;
    ASSERT_TRUE(rig.Load(samples));
    for (int t = 0; t < 5; ++t) rig.Wake();
    const std::vector<RecordingDisplay::Shown> shows = rig.display.Shows();
    ASSERT_EQ(shows.size(), 1u);
    const RecordingDisplay::Shown& shown = shows[0];
    EXPECT_EQ(shown.seconds, 0);  // 10 x 1152 samples = 0.36 s
    // The window: 128 zero samples, slots 0 to 13, 128 zero samples; the pipeline has taken in
    // nine blocks, in slots 7 to 15.
    std::vector<int16_t> window(128 + 7 * kBlock, 0);
    for (size_t k = 0; k < 7; ++k) {
        const std::vector<int16_t> block = FileBlock(samples, k);
        window.insert(window.end(), block.begin(), block.end());
    }
    window.resize(16384, 0);
    EXPECT_EQ(shown.window, window);
    EXPECT_NEAR(shown.level, 20 * std::log10(16384.0 / 32768) + 20 * std::log10(65535.0), 1e-9);
}
