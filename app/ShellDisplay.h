#pragma once
#include <atomic>
#include <cstdint>

#include "app/LoadedMusic.h"
#include "app/ModeDisplay.h"
#include "display/SpectrumDisplay.h"

namespace sonotrap {

// The shell's display, as mode control and the playing file see it: the mode strip and the
// Start/Stop button through the SpectrumDisplay's ModeStrip, the graph's reset, meters and
// threshold line, and the analysis of music blocks.
class ShellDisplay : public ModeDisplay, public MusicBlockDisplay {
public:
    // modeIndex is the shell's; SelectModeButton keeps it.
    ShellDisplay(SpectrumDisplay& display, std::atomic<int32_t>& modeIndex)
        : display_(display), modeIndex_(modeIndex) {}

    void SelectModeButton(int modeIndex) override;
    void DisableModeStrip() override;
    void RestoreModeStrip() override;
    void ShowStartButton() override;
    void ShowStopButton() override;
    void ResetGraph() override;
    void SetMarkerFall(int rate) override;
    void ShowThresholdMarker(bool show) override;
    void ResetAveraging() override;

    // The peak meter's threshold line (dB below full scale).
    void SetThresholdMarker(uint32_t threshold);

    void UpdateTimeAndSize(int32_t seconds, int32_t kilobytes) override;
    void AnalyzeBlock(const int16_t* window, float* peakHz, float* peakDb) override;
    bool IsReady() override { return display_.IsReady() && display_.Graph(); }
    void UpdateMetersAndReadouts(bool showVuText, double level, float peakHz, float peakDb) override;
    void DrawGraph() override;

private:
    SpectrumDisplay& display_;
    std::atomic<int32_t>& modeIndex_;
};

}  // namespace sonotrap
