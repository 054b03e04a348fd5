#include <gtest/gtest.h>

#include <tuple>

#include "app/FileIOOptionsDialogLogic.h"
#include "app/GraphOptionsDialogLogic.h"
#include "app/RecordingOptionsDialogLogic.h"
#include "app/TrackbarScroll.h"
#include "support/FakeMainWindow.h"
#include "support/TestSupport.h"

namespace sonotrap {
namespace {

class RecordingDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(log.LogOpen(dir.Path().string()));
        state.captureSide = true;
        state.running = true;
    }
    int ThresholdLines() {
        log.LogClose();
        std::string text = test::ReadFileText(dir.File("Sonotrap.Log"));
        int count = 0;
        for (size_t at = text.find("Threshold DBs: "); at != std::string::npos; at = text.find("Threshold DBs: ", at + 1))
            ++count;
        return count;
    }

    test::TempDir dir;
    DiagnosticLog log;
    CaptureSettings active;
    Settings settings{log, active};
    ShellState state;
    FakeMainWindow window;
    RecordingOptionsDialogLogic logic{settings, state, window};
};

TEST_F(RecordingDialog, ShowsThresholdAndDialogBand) {
    settings.dialogMinFrequency = 500;
    logic.OnInitDialog();
    EXPECT_EQ(logic.ThresholdText(), "-60 dB");
    EXPECT_EQ(logic.MinText(), "500");
    EXPECT_EQ(logic.MaxText(), "16000");
    EXPECT_EQ(logic.SliderPosition(), 60);
}

// Step and track codes set the threshold live, each with a log line; Cancel restores it with
// one more.
TEST_F(RecordingDialog, SliderSetsThresholdLiveOnlyForStepAndTrackCodesUntilCancel) {
    logic.OnInitDialog();
    EXPECT_TRUE(logic.OnSliderScroll(kTrackbarLineDown, 61, 0));
    EXPECT_DOUBLE_EQ(active.threshold.load(), 61.0);
    EXPECT_TRUE(logic.OnSliderScroll(kTrackbarThumbTrack, 61, 75));  // the thumb's own position
    EXPECT_EQ(logic.ThresholdText(), "-75 dB");
    for (int code : {int{kTrackbarThumbPosition}, int{kTrackbarTop}, int{kTrackbarBottom}, int{kTrackbarEndTrack}, 9})
        EXPECT_FALSE(logic.OnSliderScroll(code, 10, 10)) << code;
    EXPECT_EQ(settings.Threshold(), 75u);
    logic.OnCancel();
    EXPECT_DOUBLE_EQ(active.threshold.load(), 60.0);
    EXPECT_EQ(ThresholdLines(), 3);
}

TEST_F(RecordingDialog, MinimumNotBelowMaximumIsRejectedAndRememberedAValidBandInstalled) {
    logic.OnInitDialog();
    EXPECT_FALSE(logic.OnOk("500", "500"));
    ASSERT_EQ(window.MessageBoxes().size(), 1u);
    EXPECT_EQ(window.MessageBoxes()[0].text, "Please enter a minimum value < the maximum!");
    EXPECT_EQ(window.MessageBoxes()[0].caption, "Minimum frequencyn trigger entry error...");
    EXPECT_EQ(window.MessageBoxes()[0].icon, MessageIcon::Hand);
    EXPECT_EQ(active.maxTriggerHz.load(), 16000);  // active band unchanged
    // Reopened, the dialog shows the rejected numbers.
    RecordingOptionsDialogLogic again(settings, state, window);
    again.OnInitDialog();
    EXPECT_EQ(again.MinText(), "500");
    EXPECT_EQ(again.MaxText(), "500");
    EXPECT_FALSE(again.OnOk("", ""));  // empty reads as 0: 0 >= 0
    EXPECT_EQ(window.MessageBoxes().size(), 2u);
    EXPECT_TRUE(again.OnOk("0", "1"));  // a band of one hertz is accepted and installed
    EXPECT_EQ(std::pair(active.minTriggerHz.load(), active.maxTriggerHz.load()), std::pair(0, 1));
}

TEST(GraphDialog, SliderOnlySetsPendingSpeed) {
    GraphOptionsDialogLogic logic(4, true);
    logic.OnInitDialog();
    EXPECT_EQ(logic.PendingSpeed(), 4);
    EXPECT_TRUE(logic.NormalizeChecked());
    logic.OnSliderScroll(kTrackbarThumbTrack, 9, 16);
    EXPECT_EQ(logic.PendingSpeed(), 16);
    logic.OnSliderScroll(kTrackbarBottom, 1, 1);
    EXPECT_EQ(logic.PendingSpeed(), 16);
    GraphOptionsDialogLogic::Choice choice = logic.OnOk(false);
    EXPECT_EQ(choice.averagingDepth, 16);
    EXPECT_FALSE(choice.normalize);
}

TEST(FileIODialog, ShowsAndStoresTheThreePairs) {
    test::TempDir dir;
    DiagnosticLog log;
    CaptureSettings active;
    Settings settings(log, active);
    FileIOOptionsDialogLogic logic(settings);
    for (const bool on : {true, false}) {
        const FileIOOptionsDialogLogic::Checks checks = logic.OnInitDialog();
        EXPECT_EQ(std::tuple(checks.mp3, checks.peakOn, checks.limitOn), std::tuple(on, on, on));
        logic.OnOk({false, false, false});  // reopened: "Off" checked
    }
    EXPECT_FALSE(active.outputMp3.load());
    EXPECT_FALSE(active.peakLogging.load());
    EXPECT_FALSE(active.sizeLimit.load());
}

}  // namespace
}  // namespace sonotrap
