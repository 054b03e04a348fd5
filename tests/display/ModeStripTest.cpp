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
    const uint32_t title = Colour(kTitleBitmap), start = Colour(kStartBitmap), idle = Colour(kIdleStripBitmap);
    // Background, title, frame outline, frame inside around strip and button, Start, idle strip.
    const struct {
        int x, y;
        uint32_t colour;
    } pixels[] = {{0, 0, kBackgroundColour}, {639, 479, kBackgroundColour}, {300, 200, kBackgroundColour},
                  {120, 10, title},          {519, 33, title},              {520, 33, kBackgroundColour},
                  {181, 442, kBlack},        {459, 472, kBlack},            {460, 472, kBackgroundColour},
                  {182, 443, kWhite},        {418, 450, kWhite},            {458, 471, kWhite},
                  {420, 444, start},         {457, 470, start},             {183, 444, idle},
                  {417, 470, idle}};
    for (const auto& p : pixels) EXPECT_EQ(Pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
    EXPECT_EQ(MarkerAt(0), Colour(kSelectedMarkerBitmap));
    EXPECT_EQ(MarkerAt(1), idle);  // no marker drawn over the idle strip for Record and Playback
    DrawStaticScreen(screen, modeIndex);
    EXPECT_EQ(log.rects, std::vector<Rect>{kScreenRect});  // everything, once
    EXPECT_EQ(log.updates, 1);
}

TEST_F(ModeStripTest, SelectingAnotherModeMovesTheMarkerAndOnlyThat) {
    const auto before = screen.Snapshot();
    for (int same : {0, 3, -1}) EXPECT_FALSE(strip->SelectModeButton(modeIndex, same)) << same;
    EXPECT_TRUE(ChangedPixels(before, screen.Snapshot()).empty());
    EXPECT_TRUE(log.rects.empty());
    EXPECT_EQ(log.updates, 0);
    EXPECT_EQ(modeIndex.load(), 0);

    EXPECT_TRUE(strip->SelectModeButton(modeIndex, 2));
    EXPECT_EQ(modeIndex.load(), 2);
    EXPECT_EQ(MarkerAt(0), Colour(kEmptyMarkerBitmap));
    EXPECT_EQ(MarkerAt(2), Colour(kSelectedMarkerBitmap));
    EXPECT_EQ(MarkerAt(1), Colour(kIdleStripBitmap));
    EXPECT_EQ(log.rects, std::vector<Rect>{kMarkerRowRect});
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
