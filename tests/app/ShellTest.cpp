#include "app/Shell.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <tuple>

#include "app/TrackbarScroll.h"
#include "display/ScreenLayout.h"
#include "tests/app/ShellTestSupport.h"

namespace sonotrap {
namespace {

using namespace test;

constexpr uint32_t kStartPixel = Rgb(10, 0, 1);

class ShellStarted : public ::testing::Test {
protected:
    void SetUp() override { h.Start(); }
    void StartRun() {
        h.Click(kStartX, kStartY);
        ASSERT_TRUE(h.State().running);
    }
    ShellHarness h;
};

TEST_F(ShellStarted, StartupEndsInMonitorIdleWithDefaultsLogged) {
    EXPECT_FALSE(h.shell->StartupRunning());
    EXPECT_EQ(h.State().modeIndex, 0);
    EXPECT_TRUE(h.State().captureReady);
    EXPECT_FALSE(h.window.MenuEntryEnabled(command::kRecording));
    EXPECT_TRUE(h.window.MenuEntryEnabled(command::kLoad));
    EXPECT_NE(h.LogText().find("Min Trigger Freq: 16, Max Trigger Freq: 16000\nThreshold DBs: 60\n"), std::string::npos);
    EXPECT_EQ(h.shell->RecordingDirectory(), std::filesystem::current_path().string() + "/");
}

// Only clicks strictly inside the meter during a capture run move the threshold; the trigger's
// copy, the meter's line (drawn at its next update) and the log follow.
TEST_F(ShellStarted, ThresholdClicksInsideTheMeterDuringACaptureRunMoveTriggerLineAndLog) {
    Settings& settings = h.shell->GetSettings();
    h.Click(kMeterX, 285);  // stopped: nothing
    EXPECT_EQ(settings.Threshold(), 60u);
    StartRun();
    for (auto [x, y, threshold] : {std::tuple{kMeterX, 44, 0u}, {kMeterX, 430, 96u}, {561, 100, 96u}, {576, 100, 96u},
                                   {kMeterX, 43, 96u}, {kMeterX, 431, 96u}, {kMeterX, 150, 27u}}) {
        h.Click(x, y);
        EXPECT_EQ(settings.Threshold(), threshold) << x << "," << y;
    }
    EXPECT_EQ(h.shell->Display()->Graph()->PeakMeter().Threshold(), 27.0);
    const std::string log = h.LogText();
    EXPECT_EQ(log.substr(log.rfind("Threshold DBs")), "Threshold DBs: 27\n");
    const int row = 43 + static_cast<int>(27 * 388 / 96.32947);
    WaitFor([&] { return h.Pixel(kMeterX, row) == 0xFFFFFFu; }, 5000, "the threshold line");
}

// Any other click restarts the averaging: a silent block after a click is not mixed with the
// loud one before it.
TEST_F(ShellStarted, OtherClicksRestartAveraging) {
    SpectrumAnalyzer* analyzer = h.shell->Display()->Analyzer();
    ASSERT_TRUE(analyzer->SetAveragingDepth(4));
    std::vector<int16_t> tone(16384), silence(16384);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<int16_t>(16000 * std::sin(i * 0.2));
    const auto peakAfterTone = [&](bool click) {
        PeakReading reading;
        NotePeaks notes;
        analyzer->AnalyzeBlock(tone.data(), reading, notes);
        if (click) h.Click(100, 100);
        reading = PeakReading::Band(16, 16000);
        analyzer->AnalyzeBlock(silence.data(), reading, notes);
        return reading.db;
    };
    const float mixed = peakAfterTone(false);
    EXPECT_LT(peakAfterTone(true), mixed - 40.0f);
}

TEST_F(ShellStarted, StartStopAndMarkerRegionsAreInclusive) {
    for (auto [x, y] : {std::pair{419, 450}, {459, 450}, {430, 443}, {430, 472}}) {
        h.Click(x, y);
        EXPECT_FALSE(h.State().running) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{420, 444}, {458, 471}}) {
        h.Click(x, y);
        EXPECT_TRUE(h.State().running) << x << "," << y;
        h.Click(x, y);
        EXPECT_FALSE(h.State().running) << x << "," << y;
    }
    for (auto [x, y, mode] : {std::tuple{217, kMarkerRowY, 0}, {276, kMarkerRowY, 0}, {341, kMarkerRowY, 0},
                              {kRecordX, 450, 0}, {kRecordX, 464, 0}, {289, 463, 1}, {204, 451, 0}, {277, 451, 1},
                              {290, kMarkerRowY, 1}, {355, kMarkerRowY, 1}, {216, 463, 0}}) {
        h.Click(x, y);
        EXPECT_EQ(h.State().modeIndex, mode) << x << "," << y;
    }
}

TEST_F(ShellStarted, PlaybackStartWithCancelledDialogStaysIdleThenMonitorOpensCaptureAgain) {
    h.Click(kPlaybackX, kMarkerRowY);
    EXPECT_FALSE(h.State().captureSide);
    EXPECT_TRUE(h.shell->GetModeControl()->HasPlaybackOutput());
    h.Click(kStartX, kStartY);  // no answer scripted: Cancel
    EXPECT_FALSE(h.State().running);
    auto requests = h.window.FileDialogRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].title, "Load music...");
    EXPECT_EQ(requests[0].filters, (std::vector<std::pair<std::string, std::string>>{{"Audio types", "*.mp3;*.wav;"},
                                                                                     {"All types", "*.*"}}));
    h.Click(kMonitorX, kMarkerRowY);
    EXPECT_FALSE(h.shell->GetModeControl()->HasPlaybackOutput());
    StartRun();
}

TEST_F(ShellStarted, PlaybackRunIgnoresMeterAndMarkersAndAsksAgainAfterTheCaptureSide) {
    const std::string wav = h.MusicFile();
    h.PlayFile(wav);
    ASSERT_TRUE(h.State().running);
    EXPECT_TRUE(h.shell->GetModeControl()->Output()->IsPlaying());
    h.Click(kMeterX, 44);
    EXPECT_EQ(h.shell->GetSettings().Threshold(), 60u);
    h.Click(kMonitorX, kMarkerRowY);
    EXPECT_EQ(h.State().modeIndex, 2);
    h.Click(kStartX, kStartY);
    EXPECT_FALSE(h.shell->GetModeControl()->Output()->IsPlaying());
    EXPECT_TRUE(h.State().fileLoaded);  // kept for the next Start
    // Back from the capture side the file is gone: Start asks again, from the last choice.
    h.Click(kMonitorX, kMarkerRowY);
    h.Click(kPlaybackX, kMarkerRowY);
    EXPECT_FALSE(h.State().fileLoaded);
    h.window.ScriptFileDialog(wav);
    h.Click(kStartX, kStartY);
    ASSERT_EQ(h.window.FileDialogRequests().size(), 2u);
    EXPECT_EQ(h.window.FileDialogRequests()[1].initialPath, wav);
    EXPECT_TRUE(h.State().playbackPrepared);
}

TEST_F(ShellStarted, MissingFileLoadsNothingQuietlyLoadWhilePlayingStopsFirstUnreadableFileIsRefused) {
    h.window.ScriptFileDialog(h.dir.File("gone.wav"));
    h.shell->OnCommand(command::kLoad);
    EXPECT_FALSE(h.State().fileLoaded);
    EXPECT_TRUE(h.window.MessageBoxes().empty());
    const std::string text = h.dir.File("notes.txt");
    test::WriteFileBytes(text, std::vector<uint8_t>(400, 'x'));
    h.PlayFile(h.MusicFile());
    ASSERT_TRUE(h.State().running);
    h.window.ScriptFileDialog(text);
    h.shell->OnCommand(command::kLoad);
    EXPECT_FALSE(h.State().running);
    EXPECT_FALSE(h.State().fileLoaded);
    EXPECT_EQ(h.shell->GetModeControl()->Output()->Source().bytes, nullptr);  // not the freed file's
    h.ExpectBox(0, "Sorry - I can't read that file format, Bram.", "File IO Error ", MessageIcon::Exclamation);
}

TEST_F(ShellStarted, CommandsReachTheirDialogsAndTheRecordingSliderMovesTheThreshold) {
    h.shell->OnCommand(command::kAbout);
    h.shell->OnCommand(command::kFileIO);
    h.shell->OnCommand(12345);
    EXPECT_EQ(h.dialogs.about, 1);
    EXPECT_EQ(h.dialogs.fileIO, 1);
    h.dialogs.graphScript = [](GraphOptionsDialogLogic&, GraphOptionsDialogLogic::Choice* choice) {
        *choice = {5, true};
        return true;
    };
    h.shell->OnCommand(command::kGraph);
    EXPECT_EQ(h.shell->Display()->Analyzer()->GetAveragingDepth(), 5u);
    EXPECT_TRUE(h.shell->Display()->Analyzer()->GetNormalize());
    StartRun();
    h.dialogs.recordingScript = [](RecordingOptionsDialogLogic& logic) {
        logic.OnSliderScroll(kTrackbarThumbTrack, 0, 33);
        return logic.OnOk("100", "5000");
    };
    h.shell->OnCommand(command::kRecording);
    EXPECT_EQ(h.shell->GetSettings().Threshold(), 33u);
    EXPECT_EQ(h.shell->GetSettings().MaxTriggerFrequency(), 5000);
    h.shell->OnCommand(command::kExit);
    EXPECT_TRUE(h.window.CloseRequested());
}

// A Record run over two tone bursts, stopped: the file is finished at once (WAV sizes; MP3
// whole frames, two of them flushed silence) and the log gives its length and size.
TEST(ShellRecordRun, StopFinishesTheFileAndLogsItsLength) {
    std::vector<int16_t> input(32000 * 5);
    for (size_t i = 0; i < input.size(); ++i) {
        const bool burst = (i >= 32000 && i < 41600) || (i >= 96000 && i < 105600);
        input[i] = burst ? static_cast<int16_t>(8000 * std::sin(i * 0.19635)) : 0;  // 1 kHz
    }
    for (const bool mp3 : {false, true}) {
        SCOPED_TRACE(mp3);
        ShellHarness h(true, 0, {}, input);
        h.Start();
        h.shell->GetSettings().SetOutputMp3(mp3);
        h.Click(kRecordX, kMarkerRowY);
        h.Click(kStartX, kStartY);
        const std::string end = "End contiguous samples group.\n";
        WaitFor([&] {
            const std::string log = h.LogText();
            return log.find(end) != log.rfind(end);
        }, 30000, "two groups");
        h.Click(kStartX, kStartY);
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(h.dir.Path())) {
            if (e.path().extension() == (mp3 ? ".mp3" : ".wav")) files.push_back(e.path().string());
        }
        ASSERT_EQ(files.size(), 1u);
        const std::vector<uint8_t> bytes = ReadFileBytes(files[0]);
        const auto le32 = [&](size_t at) { return uint32_t(bytes[at]) | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24; };
        uint32_t blocks = 0;
        if (mp3) {
            ASSERT_EQ(bytes.size() % 576, 0u);
            blocks = static_cast<uint32_t>(bytes.size() / 576 - 1);
            for (size_t at = 0; at < bytes.size(); at += 288) ASSERT_EQ(le32(at), 0xC458FBFFu) << at;
        } else {
            ASSERT_GT(bytes.size(), 56u);
            const uint32_t data = static_cast<uint32_t>(bytes.size() - 56);
            EXPECT_EQ(std::vector<uint32_t>({le32(4), le32(44), le32(52)}), std::vector<uint32_t>({data + 48, data / 2, data}));
            ASSERT_EQ(data % 4608, 0u);
            blocks = data / 4608;
        }
        EXPECT_GE(blocks, 2u * 15u);  // two groups of at least pre-roll, trigger and hold
        const auto seconds = static_cast<unsigned>(blocks * 2304 / 32000.0 + 0.5);
        char length[96];
        std::snprintf(length, sizeof length, "File length: 00:%02u:%02u \nTotal KBytes recorded: %zu\n", seconds / 60, seconds % 60,
                      (bytes.size() - (mp3 ? 0 : 56)) / 1024);
        EXPECT_NE(h.LogText().find(files[0] + "\n"), std::string::npos);
        EXPECT_NE(h.LogText().find(length), std::string::npos) << length;
    }
}

TEST(ShellWithoutCapture, FailedCaptureStartIsReportedAndLeavesTheRunStopped) {
    VirtualCaptureFaults faults;
    faults.refuseStart = true;
    ShellHarness h(true, 0, faults);
    h.Start();
    h.Click(kStartX, kStartY);
    EXPECT_FALSE(h.State().running);
    EXPECT_FALSE(h.State().captureReady);
    EXPECT_FALSE(h.window.MenuEntryEnabled(command::kRecording));
    h.ExpectBox(0, "Sorry, seems there was a problem - we can't record.", "Capture error...", MessageIcon::Hand);
    EXPECT_EQ(h.Pixel(kStartStopRect.left, kStartStopRect.top), kStartPixel);
}

TEST(ShellWithoutCapture, DeviceLostMidRunEndsTheRunAndTellsTheUser) {
    VirtualCaptureFaults faults;
    faults.failLockAtCall = 8;
    ShellHarness h(true, 0, faults);
    h.Start();
    h.Click(kRecordX, kMarkerRowY);
    h.Click(kStartX, kStartY);
    ASSERT_TRUE(h.State().running);
    ASSERT_TRUE(WaitFor([&] { return h.window.PendingCalls() > 0; }, 5000, "the failure report to the window"));
    h.window.RunPostedCalls();
    EXPECT_FALSE(h.State().running);
    EXPECT_EQ(h.Pixel(kStartStopRect.left, kStartStopRect.top), kStartPixel);
    EXPECT_EQ(h.Pixel(kMarkerX[1], kMarkerY), Rgb(10, 0, 6));  // strip restored
    EXPECT_FALSE(h.window.MenuEntryEnabled(command::kRecording));
    h.ExpectBox(0, "Sorry, seems there was a problem - please reinitialize the application.", "DirectSound error...",
                MessageIcon::Hand);
    EXPECT_NE(h.LogText().find("Capture device lost: Lock failed!\n"), std::string::npos);
    h.Click(kStartX, kStartY);  // the user may try again
    EXPECT_TRUE(h.State().running);
}

TEST(ShellWithoutCapture, UnreadableCurrentDirectoryRefusesToRecord) {
    ShellHarness h;
    const std::filesystem::path gone = h.dir.Path() / "gone";
    std::filesystem::create_directory(gone);
    std::filesystem::current_path(gone);
    std::filesystem::remove(gone);
    h.Start();
    h.Click(kRecordX, kMarkerRowY);
    h.Click(kStartX, kStartY);
    EXPECT_FALSE(h.State().running);
    h.ExpectBox(0, "Sorry, can't read the current directory - we can't record.", "File IO Error ",
                MessageIcon::Exclamation);
    h.Click(kMonitorX, kMarkerRowY);
    h.Click(kStartX, kStartY);  // Monitor writes nothing: it runs
    EXPECT_TRUE(h.State().running);
}

TEST(ShellStartup, ClicksAndCommandsBeforeStartupAreIgnoredAndShutdownWaitsForIt) {
    ShellHarness h(true, 150);
    h.shell->OnCreate();
    EXPECT_TRUE(h.shell->StartupRunning());
    h.Click(kStartX, kStartY);
    h.Click(kPlaybackX, kMarkerRowY);
    h.shell->OnCommand(command::kLoad);
    h.shell->OnCommand(command::kGraph);
    EXPECT_FALSE(h.State().running);
    EXPECT_EQ(h.State().modeIndex, 0);
    EXPECT_TRUE(h.window.FileDialogRequests().empty());
    EXPECT_EQ(h.dialogs.graph, 0);
    for (int id : {command::kLoad, command::kGraph, command::kRecording})
        EXPECT_FALSE(h.window.MenuEntryEnabled(id)) << id;  // would be dropped: greyed
    h.shell->OnDestroy();
    EXPECT_FALSE(h.shell->StartupRunning());
    EXPECT_FALSE(h.screen.IsCreated());
}

}  // namespace
}  // namespace sonotrap
