#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "PlaybackOutputSim.h"

using namespace sonotrap;
using namespace sonotrap::test;

namespace {

constexpr uint32_t B = PlaybackOutput::kBlockBytes;
constexpr uint32_t S = PlaybackOutput::kBufferBytes;

// BufferReset called directly on a stopped output whose virtual buffer reports chosen cursors.
struct ResetRig : PlaybackRigBase {
    ResetRig() : PlaybackRigBase(VirtualSoundBuffer::kDefaultWriteLead) {
        EXPECT_TRUE(output.InitPlaybackOutput());
        output.SetSource(source.Source());
    }
    void SetDeviceCursors(uint32_t play, uint32_t write) {
        Buffer()->SetCurrentPosition(play);
        Buffer()->SetWriteLead((write + S - play) % S);
    }
    bool ResetAt(uint32_t play, uint32_t write) {
        SetDeviceCursors(play, write);
        uint32_t writePosition = 0;
        return output.BufferReset(&play, &write, &writePosition, clock.Now());
    }
    // The blocks of the buffer that now hold the source's music.
    std::set<int> FilledBlocks() {
        const std::vector<int> blocks = PlayedOutputBlocks(Buffer()->Contents());
        std::set<int> filled;
        for (int k = 0; k < static_cast<int>(blocks.size()); ++k) {
            EXPECT_TRUE(blocks[k] == 0 || blocks[k] == 1) << "block " << k << " partly written";
            if (blocks[k] == 1) filled.insert(k);
        }
        return filled;
    }
};

constexpr uint32_t kAsDevice = ~0u;

// The device's cursors and what BufferReset must make of them. The caller may pass cursors read
// ageMs earlier (then they are read again) or ones the device has since left behind.
struct FillCase {
    uint32_t play;
    uint32_t write;
    std::set<int> filled;
    uint32_t writePosition;
    const char* logLine = nullptr;  // expected diagnostic line
    uint32_t givenPlay = kAsDevice, givenWrite = kAsDevice, ageMs = 0;
};

class BufferResetFill : public ::testing::TestWithParam<FillCase> {};

}  // namespace

TEST_P(BufferResetFill, FillsTheWholeBlocksBetweenTheWriteAndThePlayCursor) {
    const FillCase c = GetParam();
    ResetRig rig;
    rig.SetDeviceCursors(c.play, c.write);
    uint32_t play = c.givenPlay == kAsDevice ? c.play : c.givenPlay;
    uint32_t write = c.givenWrite == kAsDevice ? c.write : c.givenWrite, writePosition = 12345;
    EXPECT_TRUE(rig.output.BufferReset(&play, &write, &writePosition, rig.clock.Now() - c.ageMs));
    EXPECT_EQ(writePosition, c.writePosition);
    EXPECT_EQ(play, c.play);
    EXPECT_EQ(write, c.write);
    EXPECT_EQ(rig.FilledBlocks(), c.filled);
    // A fill asks the supplier for more.
    EXPECT_EQ(rig.source.Serve(), !c.filled.empty());
    const std::string text = rig.LogText();
    EXPECT_EQ(text.find(c.logLine ? c.logLine : "Error") != std::string::npos, c.logLine != nullptr) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Cursors, BufferResetFill,
    ::testing::Values(
        // Free span not wrapping (the write cursor has wrapped, the play cursor not yet).
        FillCase{15000, 1000, {1, 2}, 13824, nullptr},
        FillCase{20000, 4000, {1, 2, 3}, 18432, nullptr},
        // Nothing whole to write: the block after the write cursor is the play cursor's.
        FillCase{8000, 5000, {}, 4608, nullptr},
        // Wrapping free span: the blocks after the write cursor's, then those before the play
        // cursor's.
        FillCase{6000, 7000, {2, 3, 4, 0}, 4608, nullptr},
        FillCase{9216, 10176, {3, 4, 0, 1}, 9216, nullptr},
        FillCase{20000, 21000, {0, 1, 2, 3}, 18432, nullptr},
        FillCase{0, 960, {1, 2, 3, 4}, 0, nullptr},
        // The write cursor in the last block and the play cursor in the first: nothing whole.
        FillCase{2000, 20000, {}, 0, nullptr},
        // The write cursor behind the play cursor in the same last block cannot happen.
        FillCase{22000, 19000, {}, 18432, "Error: BufferReset: Impossible values!"},
        // The device's write cursor moved on since 7000 was read: read again, no log line.
        FillCase{6000, 10000, {3, 4, 0}, 4608, nullptr, 6000, 7000},
        // Moved on within the same free span: the same lengths, so only a fresh read tells.
        FillCase{15000, 2000, {1, 2}, 13824, nullptr, 15000, 1000},
        // Cursors from an earlier time are read again.
        FillCase{20000, 20960, {0, 1, 2, 3}, 18432, nullptr, 6000, 7000, 3}));

// The main step at the edges of its rule: the committed span G = write - play (mod S) plus
// the unfilled bytes D, less one block, may reach 18432 before the oldest block is given up;
// the skipped block is then written only when it lies clear of the committed span.
TEST(PlaybackCatchUp, ChoosesAtTheEdgesOfTheSkipRule) {
    using C = PlaybackOutput::CatchUp;
    constexpr uint32_t H = PlaybackOutput::kHighWater;
    const struct {
        uint32_t play, write, writePosition, unfilled;
        C step;
    } cases[] = {
        {1000, 1000, 0, B - 1, C::Wait},
        {1000, 1000, 0, H - 1, C::Refill},
        {1000, 1000, 0, H, C::Reset},
        // G + D - B exactly 18432, then one byte more.
        {1000, 14824, 13824, 2 * B, C::Refill},
        {1000, 14825, 13824, 2 * B, C::SkipThenRefill},
        // Left with less than a block, or exactly one, after the skip.
        {1000, 14826, 13824, 2 * B - 1, C::SkipThenWait},
        {0, 18432, 13824, 2 * B, C::SkipThenRefill},
        // Play cursor ahead: the block must start at or after the write cursor and end at or
        // before the play cursor.
        {9216, 4608, 0, 2 * B, C::SkipThenRefill},
        {9216, 4609, 0, 2 * B, C::Reset},
        {9215, 4608, 0, 2 * B, C::Reset},
        // Write cursor ahead: the block ends by the play cursor, starts at it, or starts at or
        // after the write cursor.
        {4608, 23000, S - B, 2 * B, C::SkipThenRefill},
        {4608, 23000, 0, 2 * B, C::SkipThenRefill},
        {0, 18432, 9216, 2 * B, C::Reset},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlaybackOutput::ChooseCatchUp(c.play, c.write, c.writePosition, c.unfilled), c.step)
            << c.play << " " << c.write << " " << c.writePosition << " " << c.unfilled;
}

// An inconsistent lock is logged and retried once with fresh cursors; a second one gives up.
TEST(BufferReset, AnInconsistentLockIsRetriedOnce) {
    using F = VirtualSoundBuffer::LockFault;
    for (const auto& [fault, faults, line] : {std::tuple{F::NullFirst, 1, "Error: BufferReset lpWrite1 == NULL or dwLen1 = 0\n"},
                                             {F::ShortTotal, 2, "Error: BufferReset dwLen1+dwLen2 != dwDataSpaceTotal\n"}}) {
        ResetRig rig;
        rig.Buffer()->DistortLocks(fault, faults);
        EXPECT_EQ(rig.ResetAt(6000, 7000), faults == 1);
        EXPECT_EQ(rig.FilledBlocks(), (faults == 1 ? std::set<int>{2, 3, 4, 0} : std::set<int>{}));
        EXPECT_EQ(rig.Buffer()->LockCount(), 1 + 2);  // the silencing at init, then two tries
        const std::string text = rig.LogText();
        ASSERT_NE(text.find(line), std::string::npos) << text;
        EXPECT_EQ(text.find(line, text.find(line) + 1) != std::string::npos, faults == 2) << text;
    }
}
