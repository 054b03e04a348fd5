#include "display/LevelMeter.h"

#include <algorithm>
#include <cmath>

#include "display/ScreenLayout.h"

namespace sonotrap {

namespace {
constexpr int kMarkerLowest = 390;

// Row of the bar top for a value: 388 - floor(value x pixels per dB), as a 16-bit row.
int16_t TopFor(double value) {
    const double rows = std::floor(value * LevelMeter::kPixelsPerDb);
    // Values are 0 .. 96.33; keep anything else from overflowing the row.
    return static_cast<int16_t>(LevelMeter::kHeight - std::clamp(rows, -1000.0, 1000.0));
}
}  // namespace

LevelMeter::LevelMeter(BackScreen& screen, bool isPeakMeter, const Rect& rect)
    : screen_(screen), rect_(rect), isPeakMeter_(isPeakMeter), showThreshold_(isPeakMeter) {
    auto canvas = screen_.Lock();
    DrawScale(canvas);
}

void LevelMeter::ResetLevelMeter() {
    lastValue_ = 0.0;
    barTop_ = kHeight;
    markerRow_ = kHeight;
    fullRedraw_ = true;
    auto canvas = screen_.Lock();
    DrawScale(canvas);
}

void LevelMeter::SetThreshold(double db) {
    threshold_ = db;
    fullRedraw_ = true;
}

double LevelMeter::UpdateLevelMeter(double value) {
    auto canvas = screen_.Lock();
    if (fullRedraw_.exchange(false)) {
        PaintRows(canvas, 0, kHeight - 1, kBlack);
        const int16_t top = TopFor(value);
        CopyScale(canvas, top, kHeight - top);
        lastValue_ = value;
        barTop_ = top;
        return value;
    }
    const double smoothed = std::max((0.5 * lastValue_ + value) / 1.5, 0.0);
    const int16_t top = TopFor(smoothed);
    if (top < barTop_) {
        CopyScale(canvas, top, barTop_);  // clipped to the bitmap's last row
    } else if (top > barTop_) {
        PaintRows(canvas, barTop_, top - 1, kBlack);
    }
    barTop_ = top;
    lastValue_ = value;
    DrawTicks(canvas);
    MoveMarker(canvas, top);
    if (isPeakMeter_ && showThreshold_) {
        const int row = static_cast<int>(std::floor(threshold_ * kPixelsPerDb));
        if (row >= 0 && row < kHeight) PaintRows(canvas, row, row, kWhite);
    }
    return smoothed;
}

void LevelMeter::DrawScale(BackScreen::Canvas& canvas) {
    if (!screen_.FindBitmap(kMeterScaleBitmap)) return;
    CopyScale(canvas, 0, kHeight);
    DrawTicks(canvas);
}

void LevelMeter::CopyScale(BackScreen::Canvas& canvas, int firstRow, int rows) {
    canvas.CopyBitmap(kMeterScaleBitmap, rect_.left, rect_.top + firstRow, rect_.Width(), rows, 0, firstRow);
}

void LevelMeter::DrawTicks(BackScreen::Canvas& canvas) {
    for (int t = 10;; t += 10) {
        const int row = rect_.top + static_cast<int>(std::floor(t * kPixelsPerDb));
        if (row >= rect_.bottom) break;
        for (int x = rect_.left + 5; x <= rect_.left + 9; ++x) canvas.SetPixel(x, row, kTickColour);
    }
}

// Paints strip rows first..last (inclusive) across the strip's width.
void LevelMeter::PaintRows(BackScreen::Canvas& canvas, int first, int last, uint32_t colour) {
    canvas.FillRect(Rect{rect_.left, rect_.top + first, rect_.right, rect_.top + last + 1}, colour);
}

// The peak-hold marker is three rows tall and lives only in the black part above the bar.
void LevelMeter::MoveMarker(BackScreen::Canvas& canvas, int top) {
    int next = top - 1;
    if (top > markerRow_) next = std::min({markerRow_ + static_cast<int>(markerFall_), top - 1, kMarkerLowest});
    const int visibleEnd = std::min(top, kHeight);  // rows 0 .. visibleEnd - 1
    const auto paint = [&](int row, uint32_t colour) {
        if (row >= 0 && row < visibleEnd) PaintRows(canvas, row, row, colour);
    };
    for (int i = 0; i < 3; ++i) paint(markerRow_ - i, kBlack);
    for (int i = 0; i < 3; ++i) paint(next - i, kMarkerColour);
    markerRow_ = static_cast<int16_t>(next);
}

}  // namespace sonotrap
