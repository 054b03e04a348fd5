#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/BackScreen.h"

namespace sonotrap {

// The mode strip under the graph: three mode markers, the Start/Stop button and the
// "RECORDING" banner that covers the strip while a recording group is written. Each operation
// draws into the back screen, invalidates only what it changed and updates the window.
// Two copies of the strip are kept: the one shown before a run started (brought back by
// RestoreModeStrip) and the one hidden under the banner. Safe to call from any thread.
class ModeStrip {
public:
    explicit ModeStrip(BackScreen& screen);  // CreateModeStrip
    ModeStrip(const ModeStrip&) = delete;
    ModeStrip& operator=(const ModeStrip&) = delete;

    // Moves the selected marker to index (0 Monitor, 1 Record, 2 Playback) and stores it in
    // modeIndex. Draws nothing when index is already selected or out of range; returns whether
    // it drew.
    bool SelectModeButton(std::atomic<int32_t>& modeIndex, int32_t index);
    void ShowStartButton();
    void ShowStopButton();
    // Keeps the strip as it is, then shows the running strip with the "no" sign on the
    // selected mode.
    void DisableModeStrip(int32_t modeIndex);
    // Shows the strip kept by the last DisableModeStrip (the idle strip before any) and ends a
    // banner still shown, so that the next run shows its first recording again.
    void RestoreModeStrip();
    // On: keeps the strip and covers it with "RECORDING"; off: brings the kept strip back.
    // Only a change of state draws.
    void ShowRecordingBanner(bool on);
    bool BannerShown() const;

private:
    void SaveModeStrip();
    void ShowButton(int bitmap);
    void ShowStrip(const PixelImage& image);

    BackScreen& screen_;
    mutable std::mutex mutex_;
    PixelImage savedStrip_;   // the strip before the run
    PixelImage bannerSave_;   // the strip under the banner
    bool bannerShown_ = false;
};

}  // namespace sonotrap
