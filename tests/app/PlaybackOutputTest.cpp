#include <gtest/gtest.h>

#include "PlaybackOutputSim.h"

using namespace sonotrap;
using namespace sonotrap::test;

namespace {

// A playback output on a virtual buffer in simulated time, fed by numbered blocks.
struct Rig : PlaybackRigBase {
    explicit Rig(uint32_t lead = VirtualSoundBuffer::kDefaultWriteLead) : PlaybackRigBase(lead) {
        clock.SetHook([this] { source.Serve(); });
    }
    bool Start(uint32_t runMs, bool withSource = true) {
        const PlaybackSource numbered = source.Source();
        return Begin(runMs, withSource ? &numbered : nullptr);
    }
    std::vector<int> RunToEnd() {
        EXPECT_TRUE(WaitRunOut());
        output.StopPlaybackOutput();
        return PlayedOutputBlocks(Buffer()->Played());
    }
    bool WaitThreadLeft() {
        return WaitUntil([this] { return !output.IsThreadRunning(); });
    }
};

// Played blocks: a silent lead-in of ten blocks, then music numbered on from first.
void ExpectLeadInThenInOrder(const std::vector<int>& blocks, int first) {
    ASSERT_GT(blocks.size(), 20u);
    for (size_t k = 0; k < blocks.size(); ++k)
        ASSERT_EQ(blocks[k], k < 10 ? 0 : first + static_cast<int>(k) - 10) << "block " << k;
}

}  // namespace

TEST(PlaybackOutputThread, SteadyStatePlaysEverySourceBlockOnceInOrderAfterASilentLeadInWithoutBusyWaiting) {
    Rig rig;
    ASSERT_TRUE(rig.Start(10000));
    const std::vector<int> blocks = rig.RunToEnd();
    // The buffer's silence once through, then blocks 0 to 4 again while the thread refills them.
    ExpectLeadInThenInOrder(blocks, 1);
    EXPECT_EQ(rig.output.ResetCount(), 0u);
    // Only the start-up silence was ever played without having been written since.
    EXPECT_EQ(rig.Buffer()->StaleBytesPlayed(), 5u * PlaybackOutput::kBlockBytes);
    // Every block written asked for the next one, and the writer stays 4 blocks ahead.
    EXPECT_GE(rig.source.Serves(), static_cast<int>(blocks.size()) - 10 + 4);
    EXPECT_LE(rig.source.Serves(), static_cast<int>(blocks.size()) - 10 + 5);
    // Each sleep is half of what is left of the block, at least 1 ms: about eight per block.
    EXPECT_EQ(rig.clock.emptySleeps.load(), 0);
    const double perBlock = static_cast<double>(rig.clock.sleeps.load()) / static_cast<double>(blocks.size());
    EXPECT_GT(perBlock, 4.0);
    EXPECT_LT(perBlock, 10.0);
}

TEST(PlaybackOutputThread, SilentWithoutASourceOrWithAWriteCursorMoreThanFourBlocksAhead) {
    for (const uint32_t lead : {VirtualSoundBuffer::kDefaultWriteLead, 19000u}) {
        Rig rig(lead);
        const bool withSource = lead == 19000u;  // nothing writable: the source is never asked
        ASSERT_TRUE(rig.Start(3000, withSource));
        const std::vector<int> blocks = rig.RunToEnd();
        ASSERT_GT(blocks.size(), 40u);
        for (int b : blocks) EXPECT_EQ(b, 0) << lead;
        EXPECT_EQ(rig.source.Serves(), 0);
        // Without a source it kept writing silence: after the start-up nothing stale was played.
        if (!withSource) {
            EXPECT_EQ(rig.Buffer()->StaleBytesPlayed(), 5u * PlaybackOutput::kBlockBytes);
        }
    }
}

TEST(PlaybackOutputThread, ResetLockFailureIsLoggedAndEndsTheThread) {
    Rig rig;
    rig.clock.SetHook([&rig] {
        if (rig.source.Serve() && rig.clock.ElapsedMs() >= 2000 && rig.output.IsPlaying()) {
            rig.clock.StretchNextSleep(5 * PlaybackOutput::kBlockTimeMs);
            rig.Buffer()->FailLocks(kSoundBufferLost);  // the reset's lock is the next one
        }
    });
    ASSERT_TRUE(rig.Start(100000));
    ASSERT_TRUE(rig.WaitThreadLeft());
    EXPECT_EQ(rig.output.ResetCount(), 0u);
    rig.output.StopPlaybackOutput();
    EXPECT_NE(rig.LogText().find("Error: DirectSoundBufferReset - Lock failed\nError: lock buffer: DSERR_BUFFERLOST\n"),
              std::string::npos);
}

TEST(PlaybackOutputLifecycle, InitFailuresAreLoggedReleaseTheBufferAndStartFails) {
    struct Case {
        SoundResult refusal;
        bool silencingLockFails;
        const char* line;  // nullptr: nothing logged
    };
    for (const Case c : {Case{kSoundNoDevice, false, "Failed: DirectSoundCreate!"},
                         Case{kSoundFormatRefused, false, "Failed: pDSPrimaryBuf->SetFormat!"},
                         Case{kSoundInvalidParam, false, nullptr},
                         Case{kSoundOk, true, "DirectSoundBufferSetup - Lock failed"}}) {
        Rig rig;
        rig.device.RefuseWith(c.refusal);
        if (c.silencingLockFails) rig.device.FailLocksOfNewBuffers(kSoundInvalidCall, 1);
        EXPECT_FALSE(rig.output.InitPlaybackOutput());
        EXPECT_FALSE(rig.output.HasDevice());
        EXPECT_FALSE(rig.output.StartPlaybackOutput());
        EXPECT_FALSE(rig.output.IsPlaying());
        const std::string text = rig.LogText();
        EXPECT_NE(text.find(c.line ? std::string(c.line) + "\n" : "Shutting"), std::string::npos) << text;
        if (!c.line) {
            EXPECT_EQ(text.find("Failed"), std::string::npos) << text;
        }
    }
}
