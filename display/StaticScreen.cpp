#include "display/StaticScreen.h"

#include "display/ScreenLayout.h"

namespace sonotrap {

bool CreateBackScreen(BackScreen& screen, MainWindow& window) {
    if (screen.Create()) return true;
    window.ShowMessageBox("CreateDIBSection returned NULL pointer to bitmap bits!", "CreateBitmap()...",
                          MessageIcon::None);
    window.ShowMessageBox("CreateBitmap returned NULL bitmap handle!", "CreateBackScreen()...",
                          MessageIcon::None);
    return false;
}

void DrawButtonFrame(BackScreen::Canvas& canvas) { canvas.DrawRectangle(kButtonFrameRect, kBlack, kWhite); }

void DrawStaticScreen(BackScreen& screen, std::atomic<int32_t>& modeIndex) {
    {
        auto canvas = screen.Lock();
        canvas.FillRect(Rect{0, 0, kScreenRect.right + 1, kScreenRect.bottom + 1}, kBackgroundColour);
        DrawButtonFrame(canvas);
        canvas.CopyBitmap(kStartBitmap, kStartStopRect.left, kStartStopRect.top, kStartStopRect.Width(),
                          kStartStopRect.Height());
        canvas.CopyBitmap(kIdleStripBitmap, kModeStripRect.left, kModeStripRect.top, kModeStripRect.Width(),
                          kModeStripRect.Height());
        canvas.CopyBitmap(kSelectedMarkerBitmap, kMarkerX[0], kMarkerY, kMarkerSize, kMarkerSize);
        canvas.CopyBitmap(kTitleBitmap, kTitleRect.left, kTitleRect.top, kTitleRect.Width(), kTitleRect.Height());
    }
    modeIndex = 0;
    screen.Invalidate(kScreenRect);
    screen.UpdateWindow();
}

}  // namespace sonotrap
