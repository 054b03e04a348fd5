#pragma once

namespace sonotrap {

// The parts of the screen that mode control changes: the mode strip and its markers, the
// Start/Stop button, the graph's reset, and the peak meter's fall speed and threshold line.
// Each call draws into the back screen and invalidates what it changed.
class ModeDisplay {
public:
    virtual ~ModeDisplay() = default;
    // Moves the selected marker and sets the shell's modeIndex; nothing when already there.
    virtual void SelectModeButton(int modeIndex) = 0;
    virtual void DisableModeStrip() = 0;   // the running strip, "no" sign on the selected mode
    virtual void RestoreModeStrip() = 0;   // the strip as it was before DisableModeStrip
    virtual void ShowStartButton() = 0;
    virtual void ShowStopButton() = 0;
    virtual void ResetGraph() = 0;         // graph, note strip, meters and readouts cleared
    virtual void SetMarkerFall(int rate) = 0;
    virtual void ShowThresholdMarker(bool show) = 0;
    virtual void ResetAveraging() = 0;     // the analyser's averaging starts afresh
};

}  // namespace sonotrap
