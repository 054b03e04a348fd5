// The loaded file's pipeline and event service thread feeding the playback output, over the
// virtual sound buffer in simulated time.
#include <gtest/gtest.h>

#include "LoadedMusicSupport.h"
#include "PlaybackOutputSim.h"
#include "app/LoadedMusic.h"
#include "app/PlaybackOutput.h"

using namespace sonotrap;
using namespace sonotrap::test;

namespace {

constexpr size_t kBlock = LoadedMusic::kMusicBlockSamples;

// The playback thread's wakes go to the event service thread one at a time: each refill waits
// (in the simulated sleep that follows it) until the tick it asked for has finished, as it
// would when ticks take less than a block time.
struct PlayingRig : PlaybackRigBase {
    StepClock musicClock;
    LoadedMusic music{nullptr, log, nullptr, nullptr, musicClock};
    AutoResetEvent refilled;
    std::vector<int16_t> file;
    uint32_t stallAtMs = 0;  // the first refill from then on is followed by a four-block stall

    PlayingRig() : PlaybackRigBase(VirtualSoundBuffer::kDefaultWriteLead) {
        clock.SetHook([this] {
            if (!refilled.Wait(0)) return;
            const uint32_t before = music.TicksCompleted();
            music.Source().wake->Set();
            EXPECT_TRUE(WaitForTicks(music, before + 1));
            if (stallAtMs != 0 && clock.ElapsedMs() >= stallAtMs) {
                clock.StretchNextSleep(4 * PlaybackOutput::kBlockTimeMs);
                stallAtMs = 0;
            }
        });
    }
    bool Load(std::vector<int16_t> samples) {
        file = std::move(samples);
        const std::string path = dir.File("music.wav");
        return WriteMonoWav(path, file) && music.MapMusicFile(path) && music.OpenMusic() != nullptr;
    }
    bool Play(uint32_t runMs) {
        PlaybackSource playing = music.Source();
        playing.wake = &refilled;
        return Begin(runMs, &playing);
    }
    // Runs to the end of simulated time, stops both threads and returns the samples played.
    std::vector<int16_t> Finish() {
        EXPECT_TRUE(WaitRunOut());
        output.StopPlaybackOutput();
        music.StopEventService();
        const std::vector<uint8_t> bytes = Buffer()->Played();
        std::vector<int16_t> samples(bytes.size() / 2);
        std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }
};

}  // namespace

TEST(LoadedMusicPlayback, PlaysTheFileBlockByBlockInOrderAndLoops) {
    PlayingRig rig;
    // Seven and a bit blocks, so every loop ends on a zero-padded block.
    ASSERT_TRUE(rig.Load(CountingSamples(7 * kBlock + 500)));
    ASSERT_TRUE(rig.Play(8000));
    const std::vector<int16_t> played = rig.Finish();
    // The buffer's own silence (ten blocks), then the first refill, which copies the pipeline
    // before the first tick has filled it: 22 music blocks of silence.
    const size_t leadIn = 22 * kBlock;
    ASSERT_GT(played.size(), leadIn + 30 * kBlock);
    for (size_t i = 0; i < leadIn; ++i) ASSERT_EQ(played[i], 0) << i;
    size_t blocks = 0;
    for (size_t at = leadIn; at + kBlock <= played.size(); at += kBlock, ++blocks) {
        const std::vector<int16_t> heard(played.begin() + static_cast<long>(at),
                                         played.begin() + static_cast<long>(at + kBlock));
        ASSERT_EQ(heard, FileBlock(rig.file, blocks % 8)) << "music block " << blocks;
    }
    EXPECT_GT(blocks, 4u * 8);  // several loops
    EXPECT_EQ(rig.output.ResetCount(), 0u);
}

TEST(LoadedMusicPlayback, AStallRepeatsTheNewestMusicAndThenGoesOnInOrder) {
    PlayingRig rig;
    ASSERT_TRUE(rig.Load(CountingSamples(26 * kBlock)));  // every sample value distinct
    rig.stallAtMs = 2000;
    ASSERT_TRUE(rig.Play(5000));
    const std::vector<int16_t> played = rig.Finish();
    EXPECT_EQ(rig.output.ResetCount(), 1u);

    // Every heard music block is a block of the file; after the lead-in the file position only
    // moves forward by one block at a time, except that the reset's blocks repeat one pair.
    int previous = -1, repeats = 0;
    for (size_t at = 22 * kBlock; at + kBlock <= played.size(); at += kBlock) {
        const int first = played[at];
        const int index = (first - 1) / static_cast<int>(kBlock);
        ASSERT_EQ(first - 1, index * static_cast<int>(kBlock)) << "not a block start at " << at;
        if ((index + 1) % 26 == previous) {
            ++repeats;  // (n, n+1) heard again after (n, n+1): one step back
        } else {
            ASSERT_EQ(index, (previous + 1) % 26) << "at " << at;
        }
        previous = index;
    }
    EXPECT_EQ(repeats, 3);  // the reset wrote one output block into four buffer blocks
}
