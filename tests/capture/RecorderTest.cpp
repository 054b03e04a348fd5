#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <tuple>

#include "capture/PeakLog.h"
#include "capture/Recorder.h"
#include "CaptureTestSupport.h"

namespace sonotrap::test {
namespace {

class RecorderTest : public ::testing::Test, protected CaptureRig {
protected:
    // Processes the blocks of notifications from..to (inclusive) of the synthetic stream, taken
    // in the recorder's current file generation as the capture thread takes them.
    void Run(uint32_t from, uint32_t to) {
        for (uint32_t k = from; k <= to; ++k) {
            CaptureWindow w = StreamWindow(k);
            w.fileGeneration = recorder.FileGeneration();
            recorder.ProcessCaptureBlock(w);
        }
    }
    // Pushes one loud reading in the band, then processes the given blocks.
    void Trigger(uint32_t from, uint32_t to) {
        analysis.Push(1000.0f, -10.0f);
        Run(from, to);
    }
    // The audio of a file and the stream bytes of the current blocks of notifications from..to.
    static std::vector<uint8_t> FileData(const std::string& path) {
        auto bytes = ReadFileBytes(path);
        return std::vector<uint8_t>(bytes.begin() + 56, bytes.end());
    }
    static std::vector<uint8_t> CurrentBlocks(uint32_t from, uint32_t to) {
        return StreamBytes(static_cast<int64_t>(from) * 2304 - 3712, static_cast<int64_t>(to - from + 1) * 2304);
    }

    std::atomic<uint32_t> blocksCaptured{0};
    Recorder recorder{log, settings, &analysis, &view, blocksCaptured};
};

// The level triggers at exactly -threshold (compared as doubles); the band includes its minimum
// and excludes its maximum (compared as floats).
TEST_F(RecorderTest, TriggerEdges) {
    settings.threshold = 40.0;
    settings.minTriggerHz = 500;
    settings.maxTriggerHz = 2000;
    const struct {
        float hz, db;
        bool triggers;
    } cases[] = {
        {1000.0f, std::nextafter(-40.0f, -100.0f), false}, {1000.0f, -40.0f, true},
        {2000.0f, -10.0f, false},                          {std::nextafter(500.0f, 0.0f), -10.0f, false},
        {500.0f, -10.0f, true},                            {std::nextafter(2000.0f, 0.0f), -10.0f, true},
    };
    recorder.BeginRun(false);
    uint32_t k = 7, triggered = 0;
    for (const auto& c : cases) {
        analysis.Push(c.hz, c.db);
        Run(k, k);
        ++k;
        triggered += c.triggers;
        EXPECT_EQ(recorder.Totals().triggeringBlocks, triggered) << c.hz << " Hz, " << c.db << " dB";
        if (c.triggers) {
            EXPECT_EQ(recorder.HoldCount(), 7u);
        }
    }
    EXPECT_EQ(analysis.Bands().at(0), std::make_pair(500.0f, 2000.0f));  // the analysis is asked for the band
}

// Right after the start the pre-roll is 7 blocks ending with the triggering one, and the hold
// 7 more: a lone triggering block keeps 14 blocks, two in a row the full 15.
TEST_F(RecorderTest, TriggersRightAfterStartKeepPreRollAndHold) {
    for (const uint32_t triggers : {1u, 2u}) {
        SCOPED_TRACE(triggers);
        recorder.BeginRun(false);
        view.banner.clear();
        analysis.Push(1000.0f, -10.0f, static_cast<int>(triggers));
        Run(7, 7);
        ASSERT_TRUE(recorder.File().IsOpen());
        EXPECT_EQ(recorder.File().Counters().blocksWritten, 7u);
        EXPECT_EQ(recorder.File().Counters().fileBytes, 32256u);
        Run(8, 12 + triggers);
        EXPECT_EQ(recorder.HoldCount(), 1u);
        EXPECT_EQ(view.banner, std::vector<bool>(triggers, true));
        Run(13 + triggers, 30);
        EXPECT_EQ(recorder.HoldCount(), 0u);
        EXPECT_EQ(view.banner.back(), false);
        int32_t seconds = 0, kilobytes = 0;  // the readout: 1.008 or 1.08 s, 63 or 67 KB
        ASSERT_TRUE(recorder.TakeCountersChanged(&seconds, &kilobytes));
        EXPECT_EQ(std::make_pair(seconds, kilobytes), std::make_pair(1, triggers == 1 ? 63 : 67));
        EXPECT_FALSE(recorder.TakeCountersChanged(&seconds, &kilobytes));
        const std::string path = recorder.File().Path();
        recorder.CloseRecordingFile();
        ExpectWavSizes(ReadFileBytes(path), (13 + triggers) * 4608u);  // two: 69120 bytes, file 69176
        EXPECT_EQ(FileData(path), CurrentBlocks(1, 13 + triggers));
        EXPECT_EQ(blocksCaptured.load(), 0u);
    }
    // Named after the stamp of the earliest block written; the second file may not replace the
    // first, and the log names the file actually used.
    const std::string firstName = dir.File("0101000001.wav"), secondName = dir.File("0101000001-2.wav");
    EXPECT_EQ(ReadFileBytes(firstName).size(), 56u + 14u * 4608u);
    EXPECT_EQ(ReadFileBytes(secondName).size(), 56u + 15u * 4608u);
    EXPECT_NE(LogBody().find("\n" + secondName + "\n\n"), std::string::npos);
}

// A trigger inside a group writes one block and restarts the hold; a new group's pre-roll is
// the blocks since the last one ended, at most 7. All groups go back to back into one file,
// and each is reported as it ends, the last one when the close cuts its hold short.
TEST_F(RecorderTest, TriggersInsideAndBetweenGroups) {
    std::vector<GroupReport> reports;
    recorder.SetGroupReport([&](const GroupReport& g) { reports.push_back(g); });
    recorder.BeginRun(false);
    Trigger(7, 11);
    EXPECT_EQ(recorder.HoldCount(), 3u);
    analysis.Push(2000.0f, -5.0f);  // the group's loudest
    Run(12, 12);
    EXPECT_EQ(recorder.HoldCount(), 7u);
    EXPECT_EQ(recorder.File().Counters().blocksWritten, 12u);
    Run(13, 22);  // the hold ends at 19
    EXPECT_EQ(recorder.HoldCount(), 0u);
    Trigger(23, 23);  // 4 blocks since the group's end: pre-roll 4
    EXPECT_EQ(recorder.File().Counters().blocksWritten, 19u + 4u);
    Run(24, 45);
    Trigger(46, 50);  // long quiet: pre-roll capped at 7
    const std::string path = recorder.File().Path();
    recorder.CloseRecordingFile();
    std::vector<uint8_t> expected = CurrentBlocks(1, 30);
    const auto last = CurrentBlocks(40, 50);
    expected.insert(expected.end(), last.begin(), last.end());
    EXPECT_EQ(FileData(path), expected);
    EXPECT_EQ(recorder.Totals().groups, 2u);
    EXPECT_EQ(recorder.FilesOpened(), 1u);

    const struct {
        uint64_t firstBlock;
        uint32_t offset, blocks, triggers;
        float hz;
        bool finished;
    } want[] = {{0, 0, 19, 2, 2000.0f, true}, {19, 19, 11, 1, 1000.0f, true}, {39, 30, 11, 1, 1000.0f, false}};
    ASSERT_EQ(reports.size(), std::size(want));
    for (size_t i = 0; i < reports.size(); ++i) {
        const GroupReport& r = reports[i];
        EXPECT_EQ(std::make_tuple(r.file, r.firstBlock, r.offsetBlocks, r.blocks, r.triggeringBlocks, r.peakHz, r.finished),
                  std::make_tuple(path, want[i].firstBlock, want[i].offset, want[i].blocks, want[i].triggers,
                                  double{want[i].hz}, want[i].finished))
            << "group " << i;
    }
    EXPECT_EQ(reports[0].firstTimeStamp, "0101000001");  // the stamp the file is named after
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
    EXPECT_FALSE(std::filesystem::exists(dir.File("0101000001.wav")));
}

// 1138 blocks reach 5242880 bytes; triggers on blocks 7..1150 make one long group. With the
// limit on, the file closes at the group's end (not before) and the next trigger opens a new one.
TEST_F(RecorderTest, SizeLimitClosesTheFileOnlyAtTheEndOfAGroup) {
    for (const bool limit : {true, false}) {
        SCOPED_TRACE(limit);
        settings.sizeLimit = limit;
        recorder.BeginRun(false);
        analysis.Push(1000.0f, -10.0f, 1144);
        Run(7, 1156);
        EXPECT_GE(recorder.File().Counters().fileBytes, Recorder::kFileSizeLimit);
        EXPECT_TRUE(recorder.File().IsOpen());
        const std::string first = recorder.File().Path();
        Run(1157, 1157);
        EXPECT_EQ(recorder.File().IsOpen(), !limit);
        if (limit) {
            EXPECT_EQ(blocksCaptured.load(), 0u);
            EXPECT_EQ(ReadFileBytes(first).size(), 56u + 1157u * 4608u);
            // A window taken before the close was seen: its pre-roll holds only blocks after it.
            CaptureWindow stale = StreamWindow(1159);
            stale.fileGeneration = recorder.FileGeneration() - 1;
            analysis.Push(1000.0f, -10.0f);
            recorder.ProcessCaptureBlock(stale);
            EXPECT_EQ(recorder.File().Counters().blocksWritten, 2u);
        }
        Trigger(1170, 1170);
        EXPECT_TRUE(recorder.File().IsOpen());
        EXPECT_EQ(recorder.File().Path() == first, !limit);
        EXPECT_EQ(recorder.FilesOpened(), limit ? 2u : 1u);
        recorder.CloseRecordingFile();
    }
}

// A WAV file at its data limit finishes and the group goes on in a new file named after the
// block that opens it, a pre-roll split across the two; nothing is lost or logged as an error.
TEST_F(RecorderTest, FullWavFileRollsOverWithoutLosingABlock) {
    recorder.SetWavDataLimit(5 * 4608 + 100);
    recorder.BeginRun(false);
    Trigger(7, 14);
    EXPECT_EQ(recorder.HoldCount(), 0u);
    recorder.CloseRecordingFile();
    const std::vector<std::string> names = {dir.File("0101000001.wav"), dir.File("0101000006.wav"),
                                            dir.File("0101000011.wav")};
    EXPECT_EQ(recorder.Totals().files, names);
    std::vector<uint8_t> all;
    for (size_t i = 0; i < names.size(); ++i) {
        const auto data = FileData(names[i]);
        ExpectWavSizes(ReadFileBytes(names[i]), i < 2 ? 5 * 4608u : 4 * 4608u);
        all.insert(all.end(), data.begin(), data.end());
    }
    EXPECT_EQ(all, CurrentBlocks(1, 14));
    const std::string body = LogBody();
    EXPECT_EQ(body.find("rror"), std::string::npos);
    EXPECT_NE(body.find("WAV size limit reached, the recording goes on in the next file.\n\nFile length: "
                        "00:00:00 \nTotal KBytes recorded: 22\n" + names[1] + "\n"), std::string::npos) << body;
}

// A file that failed to write is closed at its group's end, keeping what reached the disk (and
// counting just that); the next trigger records into a new file.
TEST_F(RecorderTest, FailedFileIsReplacedAtTheNextTrigger) {
    for (const bool mp3 : {false, true}) {
        SCOPED_TRACE(mp3);
        settings.outputMp3 = mp3;
        recorder.BeginRun(false);
        const uint32_t limit = mp3 ? 14 * 288 + 100 : 56 + 7 * 4608 + 100;
        {
            ScopedFileSizeLimit fsize(limit);
            Trigger(7, 10);
            EXPECT_EQ(recorder.File().Counters().fileBytes, limit - (mp3 ? 0 : 56));
            Run(11, 14);
        }
        EXPECT_FALSE(recorder.File().IsOpen());
        const std::string first = recorder.Totals().files.back();
        EXPECT_EQ(ReadFileBytes(first).size(), limit);
        Trigger(30, 30);
        ASSERT_TRUE(recorder.File().IsOpen());
        EXPECT_NE(recorder.File().Path(), first);
        EXPECT_EQ(recorder.File().Counters().fileBytes, mp3 ? 14 * 288u : 7 * 4608u);
        recorder.CloseRecordingFile();
        EXPECT_NE(LogBody().find("Write error, recording file finished early: " + first + "\n"), std::string::npos);
    }
}

TEST_F(RecorderTest, LogLinesOfAGroupByteForByte) {
    recorder.BeginRun(false);
    analysis.Push(440.5f, -21.5f);
    Run(7, 9);
    analysis.Push(1000.25f, -3.0f);
    Run(10, 17);
    recorder.CloseRecordingFile();
    EXPECT_EQ(LogBody(), dir.File("0101000001.wav") + "\n\n"
              "Date/time captured: 01/01 00:00:01\nFile offset: 00:00:00 \nPeak frequency: 440.500hz, -21.5 dB\n\n"
              "Date/time captured: 01/01 00:00:10\nFile offset: 00:00:01 \nPeak frequency: 1000.250hz, -3.0 dB\n\n"
              "End contiguous samples group.\n\nFile length: 00:00:01 \nTotal KBytes recorded: 76\n");
}

TEST_F(RecorderTest, WithoutPeakLoggingOnlyTheFileLinesAreWritten) {
    settings.peakLogging = false;
    recorder.BeginRun(false);
    Trigger(7, 14);
    recorder.CloseRecordingFile();
    EXPECT_EQ(LogBody(), dir.File("0101000001.wav") + "\n\n\nFile length: 00:00:01 \nTotal KBytes recorded: 63\n");
}

TEST_F(RecorderTest, FileThatCannotBeOpenedStillCountsTheGroupDown) {
    settings.SetRecordingDirectory(dir.File("no-such-dir"));
    recorder.BeginRun(false);
    Trigger(7, 7);
    EXPECT_FALSE(recorder.File().IsOpen());
    EXPECT_EQ(recorder.HoldCount(), 7u);  // the pre-roll count
    Run(8, 14);
    EXPECT_EQ(recorder.HoldCount(), 0u);
    EXPECT_EQ(view.banner, std::vector<bool>({true, false}));
    EXPECT_EQ(LogBody(), "End contiguous samples group.\n");
}

// A crash must not lose a finished group: the sizes are rewritten at each group's end, and a
// group still running leaves the sizes of the last finished one.
TEST_F(RecorderTest, EveryFinishedGroupIsReadableBeforeTheFileIsClosed) {
    recorder.BeginRun(false);
    Trigger(7, 14);
    ExpectWavSizes(ReadFileBytes(recorder.File().Path()), 64512u);
    Trigger(30, 31);
    const auto bytes = ReadFileBytes(recorder.File().Path());
    EXPECT_EQ(Le32(bytes, 52), 64512u);
    EXPECT_EQ(bytes.size(), 56u + 64512u + 8u * 4608u);
}

TEST_F(RecorderTest, Mp3RecordingHoldsWholeFramesAndEachFileStartsFromAFreshEncoder) {
    settings.outputMp3 = true;
    recorder.BeginRun(false);
    Trigger(7, 14);  // 14 blocks: 28 frames, then two flushed at the close
    const std::string first = recorder.File().Path();
    EXPECT_EQ(first, dir.File("0101000001.mp3"));
    EXPECT_EQ(recorder.File().Counters().fileBytes, 28u * 288u);
    recorder.CloseRecordingFile();
    Trigger(7, 14);  // the same audio again into a second file
    const std::string second = recorder.File().Path();
    recorder.CloseRecordingFile();
    const auto a = ReadFileBytes(first);
    ASSERT_EQ(a.size(), 30u * 288u);
    for (size_t at = 0; at < a.size(); at += 288) {
        ASSERT_EQ(std::vector<uint8_t>(a.begin() + at, a.begin() + at + 4), std::vector<uint8_t>({0xFF, 0xFB, 0x58, 0xC4}))
            << "frame at " << at;
    }
    EXPECT_EQ(ReadFileBytes(second), a);
    EXPECT_NE(LogBody().find("Total KBytes recorded: 8\n"), std::string::npos);
}

TEST(PeakLog, TimeTexts) {
    EXPECT_EQ(CaptureTimeText("0314152607"), "03/14 15:26:07");
    const std::pair<uint32_t, const char*> durations[] = {
        {0, "00:00:00 "},    {14, "00:00:01 "},  // 1.008 s
        {7, "00:00:01 "},                         // 0.504 s rounds up
        {6, "00:00:00 "},                         // 0.432 s
        {1000, "00:01:12 "}, {50000, "01:00:00 "},
        {5000000, "00:00:00 "},  // 100 hours wrap the two-digit hours
    };
    for (const auto& [blocks, text] : durations) EXPECT_EQ(DurationText(blocks), text) << blocks << " blocks";
}

}  // namespace
}  // namespace sonotrap::test
