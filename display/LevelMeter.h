#pragma once
#include <atomic>
#include <cstdint>

#include "platform/BackScreen.h"

namespace sonotrap {

// One vertical bar meter (15 x 388) with a falling peak-hold marker, ticks every 10 dB and, on
// the peak meter, a white line at the trigger threshold. Values are dB above the 16-bit floor
// (0 to 96.33); row 0 of the strip stands for full scale. Only what changed is repainted.
// Updates come from the analysing thread; the threshold, its visibility and the marker's fall
// may be changed from another thread and take effect at the next update.
class LevelMeter {
public:
    static constexpr int kHeight = 388;
    static constexpr double kPixelsPerDb = 4.027843356846629;  // 388 / full scale
    static constexpr uint32_t kMarkerColour = Rgb(0, 136, 255);
    static constexpr uint32_t kTickColour = Rgb(64, 128, 128);

    // CreateLevelMeter: shows the whole scale (bitmap 132) with its ticks.
    LevelMeter(BackScreen& screen, bool isPeakMeter, const Rect& rect);

    void ResetLevelMeter();
    // Shows value (smoothed with the previous one) and returns the smoothed value; the first
    // update after creation, a reset or a threshold change redraws the strip unsmoothed.
    double UpdateLevelMeter(double value);

    void SetThreshold(double db);  // also asks for a full redraw
    void SetShowThreshold(bool show) { showThreshold_ = show; }
    void SetMarkerFall(int16_t rows) { markerFall_ = rows; }

    const Rect& Area() const { return rect_; }
    int16_t BarTop() const { return barTop_; }
    int16_t MarkerRow() const { return markerRow_; }
    double LastValue() const { return lastValue_; }
    double Threshold() const { return threshold_; }

private:
    void DrawScale(BackScreen::Canvas& canvas);
    void DrawTicks(BackScreen::Canvas& canvas);
    void PaintRows(BackScreen::Canvas& canvas, int first, int last, uint32_t colour);
    void MoveMarker(BackScreen::Canvas& canvas, int top);
    void CopyScale(BackScreen::Canvas& canvas, int firstRow, int rows);

    BackScreen& screen_;
    Rect rect_;
    bool isPeakMeter_;
    double lastValue_ = 0.0;
    int16_t barTop_ = kHeight;
    int16_t markerRow_ = kHeight;
    std::atomic<double> threshold_{60.0};
    std::atomic<int16_t> markerFall_{2};
    std::atomic<bool> fullRedraw_{true};
    std::atomic<bool> showThreshold_;
};

}  // namespace sonotrap
