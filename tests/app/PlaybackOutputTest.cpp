#include <gtest/gtest.h>

#include <future>

#include "PlaybackOutputSim.h"
#include "log/DiagnosticLog.h"
#include "app/PlaybackOutput.h"
#include "support/TestSupport.h"

using namespace sonotrap;
using namespace sonotrap::test;

namespace {

// A playback output on a virtual buffer in simulated time, fed by numbered blocks.
struct Rig : PlaybackRigBase {
    explicit Rig(uint32_t lead = VirtualSoundBuffer::kDefaultWriteLead) : PlaybackRigBase(lead) {
        clock.SetHook([this] { source.Serve(); });
    }
    bool Start(uint32_t runMs, bool withSource = true) {
        if (!output.InitPlaybackOutput()) return false;
        clock.Attach(Buffer());
        clock.SetEnd(runMs);
        if (withSource) output.SetSource(source.Source());
        return output.StartPlaybackOutput();
    }
    std::vector<int> RunToEnd() {
        EXPECT_TRUE(WaitRunOut());
        output.StopPlaybackOutput();
        return PlayedOutputBlocks(Buffer()->Played());
    }
    // Holds the thread asleep at atMs after the start and stops the output from another thread;
    // the stop must wait for the thread. True when it did; locks made meanwhile go to *locks.
    bool StopWhileAsleep(uint32_t atMs, int* locks) {
        clock.HoldAt(atMs);
        if (!Start(100000) || !clock.WaitHeld()) return false;
        auto stopped = std::async(std::launch::async, [this] { output.StopPlaybackOutput(); });
        const bool waited = WaitUntil([this] { return !output.IsPlaying(); }) &&
                            stopped.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout;
        *locks = Buffer()->LockCount();
        clock.Release();
        stopped.get();
        return waited;
    }
    // For runs where the thread leaves on its own: simulated time stops with it.
    bool WaitThreadLeft() {
        return WaitUntil([this] { return !output.IsThreadRunning(); });
    }
};

// Played blocks: a silent lead-in of ten blocks, then music numbered on from first.
void ExpectLeadInThenInOrder(const std::vector<int>& blocks, int first) {
    ASSERT_GT(blocks.size(), 20u);
    for (size_t k = 0; k < blocks.size(); ++k)
        ASSERT_EQ(blocks[k], k < 10 ? 0 : first + static_cast<int>(k) - 10) << "block " << k << ": " << Describe(blocks);
}

}  // namespace

TEST(PlaybackOutputThread, SteadyStatePlaysEverySourceBlockOnceInOrderAfterASilentLeadInWithoutBusyWaiting) {
    Rig rig;
    ASSERT_TRUE(rig.Start(10000));
    const std::vector<int> blocks = rig.RunToEnd();
    // The buffer plays its silence once through, then block 0 again and blocks 1 to 4 while the
    // thread refills them one by one: ten blocks (720 ms) before the first music.
    ExpectLeadInThenInOrder(blocks, 1);
    EXPECT_EQ(rig.output.ResetCount(), 0u);
    // Only the start-up silence was ever played without having been written since.
    EXPECT_EQ(rig.Buffer()->StaleBytesPlayed(), 5u * PlaybackOutput::kBlockBytes);
    // Every block written asked for the next one, and the writer stays 4 blocks ahead.
    EXPECT_GE(rig.source.Serves(), static_cast<int>(blocks.size()) - 10 + 4);
    EXPECT_LE(rig.source.Serves(), static_cast<int>(blocks.size()) - 10 + 5);
    // Each sleep is half of what is left of the block (at least 1 ms): 36, 18, 9, 4, 2, 1, 1,
    // 1 ms, so about eight wakes per 72 ms block, and never a sleep of nothing.
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
    const std::string text = rig.LogText();
    EXPECT_NE(text.find("Error: DirectSoundBufferReset - Lock failed\n"
                        "Error: lock buffer: DSERR_BUFFERLOST\n"
                        "dwCurrentWriteCursor: "),
              std::string::npos)
        << text;  // the rest of the report: BufferReset.LockFailuresLogTheirNameAndTheSpaces
}

TEST(PlaybackOutputThread, ACursorReadFailureEndsTheThreadQuietly) {
    Rig rig;
    rig.clock.SetHook([&] {
        rig.source.Serve();
        if (rig.clock.ElapsedMs() >= 1500) rig.Buffer()->FailPositionReads(kSoundBufferLost);
    });
    ASSERT_TRUE(rig.Start(100000));
    ASSERT_TRUE(rig.WaitThreadLeft());
    EXPECT_TRUE(rig.output.IsPlaying());  // until the owner stops it
    rig.output.StopPlaybackOutput();
    EXPECT_FALSE(rig.output.IsPlaying());
    EXPECT_TRUE(rig.output.HasDevice());
    const std::string text = rig.LogText();
    EXPECT_EQ(text.find("Error"), std::string::npos) << text;
    EXPECT_EQ(text.find("Failed"), std::string::npos) << text;
}

TEST(PlaybackOutputLifecycle, StopWhileTheThreadSleepsReturnsOnlyAfterItLeft) {
    Rig rig;
    int locks = 0;
    EXPECT_TRUE(rig.StopWhileAsleep(1000, &locks));
    // The thread saw the stop when it woke and wrote nothing more.
    EXPECT_EQ(rig.Buffer()->LockCount(), locks);
    EXPECT_FALSE(rig.Buffer()->IsPlaying());
}

TEST(PlaybackOutputLifecycle, RestartPlaysFromTheBufferStartWithANewLeadIn) {
    Rig rig;
    int locks = 0;
    ASSERT_TRUE(rig.StopWhileAsleep(2000, &locks));
    const size_t firstRun = rig.Buffer()->Played().size();
    rig.clock.SetEnd(6000);
    ASSERT_TRUE(rig.output.StartPlaybackOutput());
    rig.RunToEnd();
    const std::vector<uint8_t> played = rig.Buffer()->Played();
    const std::vector<int> second =
        PlayedOutputBlocks(std::vector<uint8_t>(played.begin() + static_cast<long>(firstRun), played.end()));
    // The second run starts at the buffer start, silenced, with the same lead-in, and goes on
    // with the music where the source stands.
    EXPECT_GT(second[10], 20);
    ExpectLeadInThenInOrder(second, second[10]);
    EXPECT_EQ(rig.Buffer()->PlayCalls(), 2);
}

TEST(PlaybackOutputLifecycle, StartTwiceKeepsOneThread) {
    Rig rig;
    rig.clock.HoldAt(500);
    ASSERT_TRUE(rig.Start(100000));
    ASSERT_TRUE(rig.clock.WaitHeld());
    auto restarted = std::async(std::launch::async, [&] { return rig.output.StartPlaybackOutput(); });
    rig.clock.Release();
    EXPECT_TRUE(restarted.get());
    EXPECT_TRUE(rig.output.IsPlaying());
    rig.output.StopPlaybackOutput();
    EXPECT_FALSE(rig.output.IsPlaying());
    EXPECT_EQ(rig.Buffer()->PlayCalls(), 2);
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
        if (c.line) {
            EXPECT_NE(text.find(std::string(c.line) + "\n"), std::string::npos) << text;
        } else {
            EXPECT_EQ(text.find("Failed"), std::string::npos) << text;
        }
    }
    TempDir dir;
    DiagnosticLog log;
    log.LogOpen(dir.Path().string());
    PlaybackOutput noDevice(nullptr, log);
    EXPECT_FALSE(noDevice.InitPlaybackOutput());
    EXPECT_FALSE(noDevice.StartPlaybackOutput());
    log.LogClose();
    EXPECT_NE(ReadFileText(dir.File("Sonotrap.Log")).find("Failed: DirectSoundCreate!\n"), std::string::npos);
}

TEST(PlaybackOutputLifecycle, StartSilencesTheBufferAndRewinds) {
    Rig rig;
    ASSERT_TRUE(rig.output.InitPlaybackOutput());
    VirtualSoundBuffer* buffer = rig.Buffer();
    SoundRegions regions;
    ASSERT_EQ(buffer->Lock(0, kSoundBufferBytes, false, &regions), kSoundOk);
    std::memset(regions.first, 0x55, regions.firstBytes);
    buffer->Unlock(regions);
    buffer->SetCurrentPosition(12345);
    rig.clock.Attach(buffer);
    rig.clock.HoldAt(1);
    ASSERT_TRUE(rig.output.StartPlaybackOutput());
    ASSERT_TRUE(rig.clock.WaitHeld());
    uint32_t play = 1, write = 0;
    buffer->GetCurrentPosition(&play, &write);
    const std::vector<uint8_t> contents = buffer->Contents();
    rig.clock.Release();
    rig.output.StopPlaybackOutput();
    EXPECT_EQ(play, 72u * 64u);  // one start-up sleep from position 0
    EXPECT_EQ(std::count(contents.begin(), contents.end(), 0), static_cast<long>(kSoundBufferBytes));
}
