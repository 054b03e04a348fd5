#pragma once
#include <cstdint>

#include "platform/BackScreen.h"

// Where the fixed parts of the screen sit and which bitmaps draw them.
namespace sonotrap {

constexpr uint32_t kBackgroundColour = Rgb(64, 128, 128);
constexpr uint32_t kWhite = Rgb(255, 255, 255);
constexpr uint32_t kBlack = 0;

// Bitmap resource numbers.
enum BitmapId : int {
    kPanelBitmap = 129,
    kNoteStripBitmap = 130,
    kRulerBitmap = 131,
    kMeterScaleBitmap = 132,
    kStartBitmap = 133,
    kStopBitmap = 134,
    kRunningStripBitmap = 135,
    kIdleStripBitmap = 136,
    kEmptyMarkerBitmap = 137,
    kSelectedMarkerBitmap = 138,
    kNoMarkerBitmap = 139,
    kRecordingBannerBitmap = 140,
    kTitleBitmap = 141,
};

constexpr Rect kScreenRect{0, 0, BackScreen::kWidth, BackScreen::kHeight};
constexpr Rect kTitleRect{120, 10, 520, 34};
constexpr Rect kButtonFrameRect{181, 442, 460, 473};
constexpr Rect kModeStripRect{183, 444, 418, 471};
constexpr Rect kStartStopRect{420, 444, 458, 471};
constexpr Rect kMarkerRowRect{204, 451, 354, 463};
constexpr int kMarkerSize = 12;
constexpr int kMarkerY = 451;
constexpr int kModeCount = 3;
// Marker x of Monitor, Record and Playback.
constexpr int kMarkerX[kModeCount] = {204, 277, 342};

}  // namespace sonotrap
