#include "display/ModeStrip.h"

#include <gtest/gtest.h>

#include <optional>

#include "display/ScreenLayout.h"
#include "display/StaticScreen.h"
#include "display/TestBitmaps.h"

namespace sonotrap {
namespace {

using test::AddTestBitmaps;
using test::ChangedPixels;
using test::InvalidationLog;

uint32_t BitmapColour(BackScreen& screen, int id) { return screen.FindBitmap(id)->pixels[0]; }

class ModeStripTest : public ::testing::Test {
protected:
    ModeStripTest() {
        AddTestBitmaps(screen);
        screen.Create();
        log.Attach(screen);
        DrawStaticScreen(screen, modeIndex);
        strip.emplace(screen);
        log.Clear();
    }
    uint32_t Pixel(int x, int y) { return screen.Lock().Pixel(x, y); }
    uint32_t Colour(int id) { return BitmapColour(screen, id); }
    uint32_t MarkerAt(int mode) { return Pixel(kMarkerX[mode] + 5, kMarkerY + 5); }
    PixelImage StripArea() {
        PixelImage image;
        screen.Lock().SaveRect(kModeStripRect, &image);
        return image;
    }

    MemoryBackScreen screen;
    std::atomic<int32_t> modeIndex{2};
    std::optional<ModeStrip> strip;
    InvalidationLog log;
};

TEST_F(ModeStripTest, StaticScreenShowsTitleFrameButtonAndMonitorSelected) {
    EXPECT_EQ(modeIndex.load(), 0);
    EXPECT_EQ(Pixel(0, 0), kBackgroundColour);
    EXPECT_EQ(Pixel(639, 479), kBackgroundColour);
    EXPECT_EQ(Pixel(300, 200), kBackgroundColour);
    EXPECT_EQ(Pixel(120, 10), Colour(kTitleBitmap));
    EXPECT_EQ(Pixel(519, 33), Colour(kTitleBitmap));
    EXPECT_EQ(Pixel(520, 33), kBackgroundColour);
    EXPECT_EQ(Pixel(181, 442), kBlack);  // frame outline
    EXPECT_EQ(Pixel(459, 472), kBlack);
    EXPECT_EQ(Pixel(460, 472), kBackgroundColour);
    EXPECT_EQ(Pixel(182, 443), kWhite);  // frame inside around the strip and button
    EXPECT_EQ(Pixel(418, 450), kWhite);
    EXPECT_EQ(Pixel(458, 471), kWhite);
    EXPECT_EQ(Pixel(420, 444), Colour(kStartBitmap));
    EXPECT_EQ(Pixel(457, 470), Colour(kStartBitmap));
    EXPECT_EQ(Pixel(183, 444), Colour(kIdleStripBitmap));
    EXPECT_EQ(Pixel(417, 470), Colour(kIdleStripBitmap));
    EXPECT_EQ(MarkerAt(0), Colour(kSelectedMarkerBitmap));
    // The idle strip bitmap has no marker drawn over it for Record and Playback.
    EXPECT_EQ(MarkerAt(1), Colour(kIdleStripBitmap));
}

TEST_F(ModeStripTest, StaticScreenInvalidatesEverythingOnce) {
    DrawStaticScreen(screen, modeIndex);
    EXPECT_EQ(log.rects, std::vector<Rect>{kScreenRect});
    EXPECT_EQ(log.updates, 1);
}

TEST_F(ModeStripTest, SelectingTheSelectedModeDrawsAndInvalidatesNothing) {
    const auto before = screen.Snapshot();
    EXPECT_FALSE(strip->SelectModeButton(modeIndex, 0));
    EXPECT_FALSE(strip->SelectModeButton(modeIndex, 3));
    EXPECT_FALSE(strip->SelectModeButton(modeIndex, -1));
    EXPECT_TRUE(ChangedPixels(before, screen.Snapshot()).empty());
    EXPECT_TRUE(log.rects.empty());
    EXPECT_EQ(log.updates, 0);
    EXPECT_EQ(modeIndex.load(), 0);
}

TEST_F(ModeStripTest, SelectingAnotherModeMovesTheMarker) {
    EXPECT_TRUE(strip->SelectModeButton(modeIndex, 2));
    EXPECT_EQ(modeIndex.load(), 2);
    EXPECT_EQ(MarkerAt(0), Colour(kEmptyMarkerBitmap));
    EXPECT_EQ(MarkerAt(2), Colour(kSelectedMarkerBitmap));
    EXPECT_EQ(MarkerAt(1), Colour(kIdleStripBitmap));
    EXPECT_EQ(log.rects, std::vector<Rect>{(Rect{204, 451, 354, 463})});
    EXPECT_EQ(log.updates, 1);
}

TEST_F(ModeStripTest, StartInRecordShowsNoSignAndStopRestoresTheSelection) {
    strip->SelectModeButton(modeIndex, 1);
    const auto idle = StripArea();
    log.Clear();
    strip->DisableModeStrip(modeIndex);
    strip->ShowStopButton();
    EXPECT_EQ(Pixel(190, 446), Colour(kRunningStripBitmap));
    EXPECT_EQ(MarkerAt(1), Colour(kNoMarkerBitmap));
    EXPECT_EQ(MarkerAt(0), Colour(kRunningStripBitmap));
    EXPECT_EQ(Pixel(430, 450), Colour(kStopBitmap));
    EXPECT_EQ(log.rects, (std::vector<Rect>{kModeStripRect, kStartStopRect}));
    EXPECT_EQ(log.updates, 2);

    strip->RestoreModeStrip();
    strip->ShowStartButton();
    EXPECT_TRUE(ChangedPixels(idle, StripArea()).empty());
    EXPECT_EQ(MarkerAt(1), Colour(kSelectedMarkerBitmap));
    EXPECT_EQ(Pixel(430, 450), Colour(kStartBitmap));
}

TEST_F(ModeStripTest, RestoreBeforeAnyRunShowsTheIdleStrip) {
    strip->RestoreModeStrip();
    EXPECT_EQ(MarkerAt(0), Colour(kIdleStripBitmap));
    EXPECT_EQ(Pixel(183, 444), Colour(kIdleStripBitmap));
}

TEST_F(ModeStripTest, BannerOnTwiceSavesOnceAndOffRestoresTheStripShownBefore) {
    strip->DisableModeStrip(modeIndex);
    const auto running = StripArea();
    log.Clear();
    strip->ShowRecordingBanner(true);
    EXPECT_TRUE(strip->BannerShown());
    EXPECT_EQ(Pixel(300, 450), Colour(kRecordingBannerBitmap));
    EXPECT_EQ(MarkerAt(0), Colour(kRecordingBannerBitmap));
    strip->ShowRecordingBanner(true);
    EXPECT_EQ(log.rects, std::vector<Rect>{kModeStripRect});
    EXPECT_EQ(log.updates, 1);
    strip->ShowRecordingBanner(false);
    EXPECT_FALSE(strip->BannerShown());
    EXPECT_TRUE(ChangedPixels(running, StripArea()).empty());
    log.Clear();
    strip->ShowRecordingBanner(false);
    EXPECT_TRUE(log.rects.empty());
    EXPECT_TRUE(ChangedPixels(running, StripArea()).empty());
}

TEST_F(ModeStripTest, StopDuringARecordingGroupEndsTheBanner) {
    const auto idle = StripArea();
    strip->DisableModeStrip(modeIndex);
    strip->ShowRecordingBanner(true);
    strip->RestoreModeStrip();
    EXPECT_FALSE(strip->BannerShown());
    EXPECT_TRUE(ChangedPixels(idle, StripArea()).empty());
    // The group's late "off" changes nothing; the next run's first trigger shows the banner.
    strip->ShowRecordingBanner(false);
    EXPECT_TRUE(ChangedPixels(idle, StripArea()).empty());
    strip->DisableModeStrip(modeIndex);
    strip->ShowRecordingBanner(true);
    EXPECT_EQ(Pixel(300, 450), Colour(kRecordingBannerBitmap));
}

TEST_F(ModeStripTest, MissingBitmapsCopyNothing) {
    screen.RemoveBitmap(kStopBitmap);
    screen.RemoveBitmap(kRunningStripBitmap);
    const auto before = screen.Snapshot();
    strip->ShowStopButton();
    EXPECT_TRUE(ChangedPixels(before, screen.Snapshot()).empty());
    strip->DisableModeStrip(modeIndex);
    EXPECT_EQ(Pixel(190, 446), Colour(kIdleStripBitmap));
    EXPECT_EQ(MarkerAt(0), Colour(kNoMarkerBitmap));
}

}  // namespace
}  // namespace sonotrap
