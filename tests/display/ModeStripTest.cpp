#include "display/ModeStrip.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "display/ScreenLayout.h"
#include "display/StaticScreen.h"
#include "display/TestBitmaps.h"

namespace sonotrap {
namespace {

class ModeStripTest : public ::testing::Test {
protected:
    ModeStripTest() {
        test::AddTestBitmaps(screen);
        screen.Create();
        log.Attach(screen);
        DrawStaticScreen(screen, modeIndex);
        strip.emplace(screen);
        log.Clear();
    }
    uint32_t Pixel(int x, int y) { return screen.Lock().Pixel(x, y); }
    uint32_t Colour(int id) { return screen.FindBitmap(id)->pixels[0]; }
    uint32_t MarkerAt(int mode) { return Pixel(kMarkerX[mode] + 5, kMarkerY + 5); }
    PixelImage StripArea() {
        PixelImage image;
        screen.Lock().SaveRect(kModeStripRect, &image);
        return image;
    }
    bool StripIs(const PixelImage& image) { return test::ChangedPixels(image, StripArea()).empty(); }

    MemoryBackScreen screen;
    std::atomic<int32_t> modeIndex{2};
    std::optional<ModeStrip> strip;
    test::InvalidationLog log;
};

TEST_F(ModeStripTest, StaticScreenShowsTitleFrameButtonAndMonitorSelected) {
    const uint32_t title = Colour(kTitleBitmap), start = Colour(kStartBitmap), idle = Colour(kIdleStripBitmap);
    // Background, title, frame outline, frame inside around strip and button, Start, idle strip.
    for (auto [x, y, colour] : {std::tuple{639, 479, kBackgroundColour}, {120, 10, title}, {519, 33, title},
                                {520, 33, kBackgroundColour}, {181, 442, kBlack}, {459, 472, kBlack},
                                {460, 472, kBackgroundColour}, {182, 443, kWhite}, {418, 450, kWhite}, {420, 444, start},
                                {457, 470, start}, {183, 444, idle}, {417, 470, idle}})
        EXPECT_EQ(Pixel(x, y), colour) << x << "," << y;
    EXPECT_EQ(MarkerAt(0), Colour(kSelectedMarkerBitmap));
    EXPECT_EQ(MarkerAt(1), idle);  // no marker drawn over the idle strip for Record and Playback
    DrawStaticScreen(screen, modeIndex);
    EXPECT_EQ(log.rects, std::vector<Rect>{kScreenRect});  // everything, once
    EXPECT_EQ(log.updates, 1);
}

TEST_F(ModeStripTest, SelectingAnotherModeMovesTheMarkerAndOnlyThat) {
    for (int same : {0, 3, -1}) EXPECT_FALSE(strip->SelectModeButton(modeIndex, same)) << same;
    EXPECT_TRUE(log.rects.empty());  // nothing drawn

    EXPECT_TRUE(strip->SelectModeButton(modeIndex, 2));
    EXPECT_EQ(MarkerAt(0), Colour(kEmptyMarkerBitmap));
    EXPECT_EQ(MarkerAt(2), Colour(kSelectedMarkerBitmap));
    EXPECT_EQ(log.rects, std::vector<Rect>{kMarkerRowRect});
    EXPECT_EQ(log.updates, 1);
}

TEST_F(ModeStripTest, StartInRecordShowsNoSignAndStopRestoresTheSelection) {
    strip->RestoreModeStrip();  // before any run: the idle strip
    EXPECT_EQ(MarkerAt(0), Colour(kIdleStripBitmap));
    strip->SelectModeButton(modeIndex, 1);
    const auto idle = StripArea();
    log.Clear();
    strip->DisableModeStrip(modeIndex);
    strip->ShowStopButton();
    EXPECT_EQ(Pixel(190, 446), Colour(kRunningStripBitmap));
    EXPECT_EQ(MarkerAt(1), Colour(kNoMarkerBitmap));
    EXPECT_EQ(Pixel(430, 450), Colour(kStopBitmap));
    EXPECT_EQ(log.rects, (std::vector<Rect>{kModeStripRect, kStartStopRect}));
    strip->RestoreModeStrip();
    strip->ShowStartButton();
    EXPECT_TRUE(StripIs(idle));
    EXPECT_EQ(Pixel(430, 450), Colour(kStartBitmap));
}

TEST_F(ModeStripTest, BannerOnTwiceSavesOnceAndOffRestoresTheStripShownBefore) {
    strip->DisableModeStrip(modeIndex);
    const auto running = StripArea();
    log.Clear();
    strip->ShowRecordingBanner(true);
    EXPECT_EQ(MarkerAt(0), Colour(kRecordingBannerBitmap));
    strip->ShowRecordingBanner(true);
    EXPECT_EQ(log.rects, std::vector<Rect>{kModeStripRect});
    EXPECT_EQ(log.updates, 1);
    strip->ShowRecordingBanner(false);
    EXPECT_TRUE(StripIs(running));
    log.Clear();
    strip->ShowRecordingBanner(false);
    EXPECT_TRUE(log.rects.empty());
}

}  // namespace
}  // namespace sonotrap
