#include "display/ModeStrip.h"

#include "display/ScreenLayout.h"

namespace sonotrap {

namespace {
PixelImage CopyOfBitmap(BackScreen& screen, int id) {
    const PixelImage* bitmap = screen.FindBitmap(id);
    return bitmap ? *bitmap : PixelImage{};
}

void DrawMarker(BackScreen::Canvas& canvas, int bitmap, int32_t mode) {
    canvas.CopyBitmap(bitmap, kMarkerX[mode], kMarkerY, kMarkerSize, kMarkerSize);
}

bool IsMode(int32_t index) { return index >= 0 && index < kModeCount; }
}  // namespace

ModeStrip::ModeStrip(BackScreen& screen)
    : screen_(screen),
      savedStrip_(CopyOfBitmap(screen, kIdleStripBitmap)),
      bannerSave_(CopyOfBitmap(screen, kRunningStripBitmap)) {}

bool ModeStrip::SelectModeButton(std::atomic<int32_t>& modeIndex, int32_t index) {
    const int32_t old = modeIndex.load();
    if (index == old || !IsMode(index)) return false;
    {
        std::lock_guard strip(mutex_);
        auto canvas = screen_.Lock();
        if (IsMode(old)) DrawMarker(canvas, kEmptyMarkerBitmap, old);
        DrawMarker(canvas, kSelectedMarkerBitmap, index);
    }
    modeIndex = index;
    screen_.Invalidate(kMarkerRowRect);
    screen_.UpdateWindow();
    return true;
}

void ModeStrip::ShowStartButton() { ShowButton(kStartBitmap); }

void ModeStrip::ShowStopButton() { ShowButton(kStopBitmap); }

void ModeStrip::ShowButton(int bitmap) {
    screen_.Lock().CopyBitmap(bitmap, kStartStopRect.left, kStartStopRect.top, kStartStopRect.Width(),
                              kStartStopRect.Height());
    screen_.Invalidate(kStartStopRect);
    screen_.UpdateWindow();
}

void ModeStrip::SaveModeStrip() { screen_.Lock().SaveRect(kModeStripRect, &savedStrip_); }

void ModeStrip::DisableModeStrip(int32_t modeIndex) {
    {
        std::lock_guard strip(mutex_);
        SaveModeStrip();
        auto canvas = screen_.Lock();
        canvas.CopyBitmap(kRunningStripBitmap, kModeStripRect.left, kModeStripRect.top, kModeStripRect.Width(),
                          kModeStripRect.Height());
        if (IsMode(modeIndex)) DrawMarker(canvas, kNoMarkerBitmap, modeIndex);
    }
    screen_.Invalidate(kModeStripRect);
    screen_.UpdateWindow();
}

void ModeStrip::RestoreModeStrip() {
    {
        std::lock_guard strip(mutex_);
        // A run stopped in the middle of a recording group never turned its banner off.
        bannerShown_ = false;
        ShowStrip(savedStrip_);
    }
    screen_.Invalidate(kModeStripRect);
    screen_.UpdateWindow();
}

void ModeStrip::ShowRecordingBanner(bool on) {
    {
        std::lock_guard strip(mutex_);
        if (on == bannerShown_) return;
        bannerShown_ = on;
        if (on) {
            auto canvas = screen_.Lock();
            canvas.SaveRect(kModeStripRect, &bannerSave_);
            canvas.CopyBitmap(kRecordingBannerBitmap, kModeStripRect.left, kModeStripRect.top,
                              kModeStripRect.Width(), kModeStripRect.Height());
        } else {
            ShowStrip(bannerSave_);
        }
    }
    screen_.Invalidate(kModeStripRect);
    screen_.UpdateWindow();
}

bool ModeStrip::BannerShown() const {
    std::lock_guard strip(mutex_);
    return bannerShown_;
}

void ModeStrip::ShowStrip(const PixelImage& image) {
    screen_.Lock().CopyImage(image, kModeStripRect.left, kModeStripRect.top, kModeStripRect.Width(),
                             kModeStripRect.Height());
}

}  // namespace sonotrap
