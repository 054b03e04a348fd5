#include "app/ModeControl.h"

#include <gtest/gtest.h>

#include "log/DiagnosticLog.h"
#include "support/FakeMainWindow.h"

namespace sonotrap {
namespace {

// Keeps what mode control last asked of the peak meter.
struct MeterSettings : ModeDisplay {
    int fall = 0;
    bool threshold = false;
    void SelectModeButton(int) override {}
    void DisableModeStrip() override {}
    void RestoreModeStrip() override {}
    void ShowStartButton() override {}
    void ShowStopButton() override {}
    void ResetGraph() override {}
    void SetMarkerFall(int rate) override { fall = rate; }
    void ShowThresholdMarker(bool show) override { threshold = show; }
    void ResetAveraging() override {}
};

// Playback's peak marker sinks one row per update, the capture side's two, and only the capture
// side shows the trigger threshold.
TEST(ModeControlSides, SetTheMarkerFallAndTheThresholdLine) {
    ShellState state;
    FakeMainWindow window;
    DiagnosticLog log;
    MeterSettings meters;
    ModeControl mode({&state, &window, &log, &meters});
    for (const bool capture : {true, false, true}) {
        mode.SetCaptureMode(capture);
        EXPECT_EQ(meters.fall, capture ? 2 : 1) << capture;
        EXPECT_EQ(meters.threshold, capture) << capture;
    }
}

}  // namespace
}  // namespace sonotrap
