#include <gtest/gtest.h>

#include <cmath>

#include "capture/CaptureSettings.h"
#include "capture/Recorder.h"
#include "CaptureTestSupport.h"

namespace sonotrap::test {
namespace {

constexpr float kQuiet = -90.0f;

class RecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(log.LogOpen(dir.Path().string()));
        settings.outputMp3 = false;
        settings.SetRecordingDirectory(dir.Path().string());
        analysis.defaultDb = kQuiet;
    }
    // Processes the blocks of notifications from..to (inclusive) of the synthetic stream.
    void Run(uint32_t from, uint32_t to) {
        for (uint32_t k = from; k <= to; ++k) recorder.ProcessCaptureBlock(StreamWindow(k));
    }
    std::vector<uint8_t> FileData(const std::string& path) {
        auto bytes = ReadFileBytes(path);
        return std::vector<uint8_t>(bytes.begin() + 56, bytes.end());
    }
    // The stream bytes of the current blocks of notifications from..to.
    static std::vector<uint8_t> CurrentBlocks(uint32_t from, uint32_t to) {
        return StreamBytes(static_cast<int64_t>(from) * 2304 - 3712, static_cast<int64_t>(to - from + 1) * 2304);
    }

    TempDir dir;
    DiagnosticLog log;
    CaptureSettings settings;
    ScriptedAnalysis analysis;
    RecordingView view;
    std::atomic<uint32_t> blocksCaptured{0};
    Recorder recorder{log, settings, &analysis, &view, blocksCaptured};
};

TEST_F(RecorderTest, LevelAtExactlyMinusThresholdTriggersAndJustBelowDoesNot) {
    settings.threshold = 40.0;
    recorder.BeginRun(false);
    analysis.Push(1000.0f, std::nextafter(-40.0f, -100.0f));
    Run(7, 7);
    EXPECT_EQ(recorder.Totals().triggeringBlocks, 0u);
    analysis.Push(1000.0f, -40.0f);
    Run(8, 8);
    EXPECT_EQ(recorder.Totals().triggeringBlocks, 1u);
    EXPECT_EQ(recorder.HoldCount(), 7u);
}

TEST_F(RecorderTest, BandIncludesItsMinimumAndExcludesItsMaximum) {
    settings.minTriggerHz = 500;
    settings.maxTriggerHz = 2000;
    recorder.BeginRun(false);
    analysis.Push(2000.0f, -10.0f);
    analysis.Push(std::nextafter(500.0f, 0.0f), -10.0f);
    Run(7, 8);
    EXPECT_EQ(recorder.Totals().triggeringBlocks, 0u);
    analysis.Push(500.0f, -10.0f);
    analysis.Push(std::nextafter(2000.0f, 0.0f), -10.0f);
    Run(9, 10);
    EXPECT_EQ(recorder.Totals().triggeringBlocks, 2u);
    // The analysis is asked for the trigger band.
    EXPECT_EQ(analysis.Band(0), std::make_pair(500.0f, 2000.0f));
}

// The pre-roll holds at most 7 blocks with the triggering one and the hold 7 more, so a lone
// triggering block keeps 14 blocks (6 before it, itself, 7 after).
TEST_F(RecorderTest, SingleTriggerRightAfterStartKeepsFourteenBlocks) {
    recorder.BeginRun(false);
    analysis.Push(1000.0f, -10.0f);
    Run(7, 7);
    ASSERT_TRUE(recorder.File().IsOpen());
    // Pre-roll: 7 blocks (32256 bytes) ending with the current block.
    EXPECT_EQ(recorder.File().Counters().blocksWritten, 7u);
    EXPECT_EQ(recorder.File().Counters().fileBytes, 32256u);
    Run(8, 13);
    EXPECT_EQ(recorder.HoldCount(), 1u);
    EXPECT_EQ(view.banner, std::vector<bool>({true}));
    Run(14, 20);
    EXPECT_EQ(recorder.HoldCount(), 0u);
    EXPECT_EQ(view.banner, std::vector<bool>({true, false}));
    const std::string path = recorder.File().Path();
    EXPECT_EQ(path, dir.File("0101000001.wav"));  // the stamp of the earliest block written

    recorder.CloseRecordingFile();
    const auto bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 56u + 64512u);
    EXPECT_EQ(Le32(bytes, 4), 48u + 64512u);
    EXPECT_EQ(Le32(bytes, 44), 32256u);
    EXPECT_EQ(Le32(bytes, 52), 64512u);
    EXPECT_EQ(FileData(path), CurrentBlocks(1, 14));
    EXPECT_EQ(blocksCaptured.load(), 0u);
}

TEST_F(RecorderTest, TwoTriggeringBlocksAfterStartMakeAFifteenBlockFile) {
    recorder.BeginRun(false);
    analysis.Push(1000.0f, -10.0f, 2);
    Run(7, 30);
    const std::string path = recorder.File().Path();
    recorder.CloseRecordingFile();
    const auto bytes = ReadFileBytes(path);
    ASSERT_EQ(bytes.size(), 69176u);
    EXPECT_EQ(Le32(bytes, 4), 69168u);
    EXPECT_EQ(Le32(bytes, 44), 34560u);
    EXPECT_EQ(Le32(bytes, 52), 69120u);
    EXPECT_EQ(FileData(path), CurrentBlocks(1, 15));
}

TEST_F(RecorderTest, TriggerInsideAGroupWritesOneBlockAndRestartsTheHold) {
    recorder.BeginRun(false);
    analysis.Push(1000.0f, -10.0f);
    Run(7, 7);
    Run(8, 11);
    EXPECT_EQ(recorder.HoldCount(), 3u);
    analysis.Push(1000.0f, -10.0f);
    Run(12, 12);
    EXPECT_EQ(recorder.HoldCount(), 7u);
    EXPECT_EQ(recorder.File().Counters().blocksWritten, 12u);
    Run(13, 19);
    EXPECT_EQ(recorder.HoldCount(), 0u);
    const std::string path = recorder.File().Path();
    recorder.CloseRecordingFile();
    EXPECT_EQ(FileData(path), CurrentBlocks(1, 19));
}

TEST_F(RecorderTest, GroupsGoBackToBackWithAPreRollThatGrowsToSeven) {
    recorder.BeginRun(false);
    analysis.Push(1000.0f, -10.0f);
    Run(7, 7);
    Run(8, 14);  // hold ends at 14
    Run(15, 17);
    analysis.Push(1000.0f, -10.0f);
    Run(18, 18);  // 4 blocks since the mark: pre-roll 4
    EXPECT_EQ(recorder.File().Counters().blocksWritten, 14u + 4u);
    Run(19, 25);
    Run(26, 40);
    analysis.Push(1000.0f, -10.0f);
    Run(41, 41);  // long quiet: pre-roll capped at 7
    Run(42, 48);
    const std::string path = recorder.File().Path();
    recorder.CloseRecordingFile();
    std::vector<uint8_t> expected = CurrentBlocks(1, 14);
    for (auto part : {CurrentBlocks(15, 25), CurrentBlocks(35, 48)}) expected.insert(expected.end(), part.begin(), part.end());
    EXPECT_EQ(FileData(path), expected);
    EXPECT_EQ(recorder.Totals().groups, 3u);
    EXPECT_EQ(recorder.FilesOpened(), 1u);
}

TEST_F(RecorderTest, MonitorRunNeverRecords) {
    recorder.BeginRun(true);
    analysis.Push(1000.0f, -1.0f, 20);
    Run(7, 26);
    EXPECT_FALSE(recorder.File().IsOpen());
    EXPECT_EQ(recorder.Totals().triggeringBlocks, 0u);
    EXPECT_EQ(view.blocks, 20);
    EXPECT_TRUE(view.lastShowVuText);
    EXPECT_TRUE(view.banner.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()) || !std::filesystem::exists(dir.File("0101000001.wav")));
}

TEST_F(RecorderTest, SizeLimitClosesTheFileOnlyAtTheEndOfAGroup) {
    recorder.BeginRun(false);
    // 1138 blocks reach 5242880 bytes; trigger on blocks 7..1150.
    const uint32_t last = 1150;
    analysis.Push(1000.0f, -10.0f, static_cast<int>(last - 7 + 1));
    Run(7, last);
    EXPECT_GE(recorder.File().Counters().fileBytes, Recorder::kFileSizeLimit);
    EXPECT_TRUE(recorder.File().IsOpen());
    Run(last + 1, last + 6);
    EXPECT_TRUE(recorder.File().IsOpen());
    const std::string first = recorder.File().Path();
    Run(last + 7, last + 7);
    EXPECT_FALSE(recorder.File().IsOpen());
    EXPECT_EQ(blocksCaptured.load(), 0u);
    EXPECT_EQ(ReadFileBytes(first).size(), 56u + (last + 7) * 4608u);
    // The next trigger opens a new file.
    analysis.Push(1000.0f, -10.0f);
    Run(last + 20, last + 20);
    EXPECT_TRUE(recorder.File().IsOpen());
    EXPECT_NE(recorder.File().Path(), first);
    EXPECT_EQ(recorder.FilesOpened(), 2u);
}

TEST_F(RecorderTest, WithoutTheSizeLimitOneFileTakesEveryGroup) {
    settings.sizeLimit = false;
    recorder.BeginRun(false);
    analysis.Push(1000.0f, -10.0f, 1144);
    Run(7, 1150);
    Run(1151, 1170);
    analysis.Push(1000.0f, -10.0f);
    Run(1171, 1171);
    EXPECT_EQ(recorder.FilesOpened(), 1u);
    EXPECT_TRUE(recorder.File().IsOpen());
}

TEST_F(RecorderTest, LogLinesOfAGroupByteForByte) {
    recorder.BeginRun(false);
    analysis.Push(440.5f, -21.5f);
    Run(7, 7);
    Run(8, 9);
    analysis.Push(1000.25f, -3.0f);
    Run(10, 10);
    Run(11, 17);
    recorder.CloseRecordingFile();
    const std::string path = dir.File("0101000001.wav");
    EXPECT_EQ(LogBody(dir), path + "\n"
                                   "\n"
                                   "Date/time captured: 01/01 00:00:01\n"
                                   "File offset: 00:00:00 \n"
                                   "Peak frequency: 440.500hz, -21.5 dB\n"
                                   "\n"
                                   "Date/time captured: 01/01 00:00:10\n"
                                   "File offset: 00:00:01 \n"
                                   "Peak frequency: 1000.250hz, -3.0 dB\n"
                                   "\n"
                                   "End contiguous samples group.\n"
                                   "\n"
                                   "File length: 00:00:01 \n"
                                   "Total KBytes recorded: 76\n");
}

TEST_F(RecorderTest, WithoutPeakLoggingOnlyTheFileLinesAreWritten) {
    settings.peakLogging = false;
    recorder.BeginRun(false);
    analysis.Push(440.5f, -21.5f);
    Run(7, 14);
    recorder.CloseRecordingFile();
    EXPECT_EQ(LogBody(dir), dir.File("0101000001.wav") + "\n\n\nFile length: 00:00:01 \nTotal KBytes recorded: 63\n");
}

TEST_F(RecorderTest, FileThatCannotBeOpenedStillCountsTheGroupDown) {
    settings.SetRecordingDirectory(dir.File("no-such-dir"));
    recorder.BeginRun(false);
    analysis.Push(1000.0f, -10.0f);
    Run(7, 7);
    EXPECT_FALSE(recorder.File().IsOpen());
    EXPECT_EQ(recorder.HoldCount(), 7u);  // the pre-roll count
    Run(8, 14);
    EXPECT_EQ(recorder.HoldCount(), 0u);
    EXPECT_EQ(view.banner, std::vector<bool>({true, false}));
    EXPECT_EQ(LogBody(dir), "End contiguous samples group.\n");
}

TEST_F(RecorderTest, NameClashGetsASuffixAndTheLogNamesTheFileUsed) {
    ASSERT_TRUE(WriteFileBytes(dir.File("0101000001.wav"), {9}));
    recorder.BeginRun(false);
    analysis.Push(1000.0f, -10.0f);
    Run(7, 7);
    EXPECT_EQ(recorder.File().Path(), dir.File("0101000001-2.wav"));
    EXPECT_EQ(LogBody(dir).substr(0, dir.File("0101000001-2.wav").size() + 2), dir.File("0101000001-2.wav") + "\n\n");
    EXPECT_EQ(ReadFileBytes(dir.File("0101000001.wav")), std::vector<uint8_t>({9}));
}

TEST_F(RecorderTest, EveryFinishedGroupIsReadableBeforeTheFileIsClosed) {
    recorder.BeginRun(false);
    analysis.Push(1000.0f, -10.0f);
    Run(7, 14);
    auto bytes = ReadFileBytes(recorder.File().Path());
    ASSERT_EQ(bytes.size(), 56u + 64512u);
    EXPECT_EQ(Le32(bytes, 4), 48u + 64512u);
    EXPECT_EQ(Le32(bytes, 44), 32256u);
    EXPECT_EQ(Le32(bytes, 52), 64512u);
    // A group still running leaves the sizes of the last finished one.
    analysis.Push(1000.0f, -10.0f);
    Run(30, 31);
    bytes = ReadFileBytes(recorder.File().Path());
    EXPECT_EQ(Le32(bytes, 52), 64512u);
    EXPECT_EQ(bytes.size(), 56u + 64512u + 8u * 4608u);
}

TEST_F(RecorderTest, Mp3RecordingHoldsWholeFramesAndEachFileStartsFromAFreshEncoder) {
    settings.outputMp3 = true;
    recorder.BeginRun(false);
    analysis.Push(1000.0f, -10.0f);
    Run(7, 14);  // 14 blocks: 28 frames, then two flushed at the close
    const std::string first = recorder.File().Path();
    EXPECT_EQ(first, dir.File("0101000001.mp3"));
    EXPECT_EQ(recorder.File().Counters().fileBytes, 28u * 288u);
    recorder.CloseRecordingFile();
    analysis.Push(1000.0f, -10.0f);
    Run(7, 14);  // the same audio again into a second file
    const std::string second = recorder.File().Path();
    recorder.CloseRecordingFile();
    const auto a = ReadFileBytes(first);
    ASSERT_EQ(a.size(), 30u * 288u);
    for (size_t at = 0; at < a.size(); at += 288) {
        ASSERT_EQ(std::vector<uint8_t>(a.begin() + at, a.begin() + at + 4), std::vector<uint8_t>({0xFF, 0xFB, 0x58, 0xC4}))
            << "frame at " << at;
    }
    EXPECT_EQ(ReadFileBytes(second), a);
    EXPECT_NE(LogBody(dir).find("Total KBytes recorded: 8\n"), std::string::npos);
}

}  // namespace
}  // namespace sonotrap::test
