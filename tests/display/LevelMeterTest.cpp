#include "display/LevelMeter.h"

#include <gtest/gtest.h>

#include "display/LevelScale.h"
#include "display/TestBitmaps.h"

namespace sonotrap {
namespace {

using test::AddTestBitmaps;

constexpr Rect kStrip{561, 43, 576, 431};
constexpr uint32_t kRed = Rgb(215, 85, 85);
constexpr uint32_t kYellow = Rgb(209, 213, 87);
constexpr uint32_t kScale = Rgb(115, 185, 185);
constexpr uint32_t kTick = Rgb(64, 128, 128);
constexpr int kTickRows[] = {40, 80, 120, 161, 201, 241, 281, 322, 362};

class LevelMeterTest : public ::testing::Test {
protected:
    LevelMeterTest() {
        AddTestBitmaps(screen);
        screen.Create();
    }
    // Colour of strip row `row` in the strip's last column (clear of the ticks).
    uint32_t RowColour(int row) { return screen.Lock().Pixel(kStrip.right - 1, kStrip.top + row); }
    uint32_t TickColumnColour(int row) { return screen.Lock().Pixel(kStrip.left + 7, kStrip.top + row); }
    bool RowIsWhole(int row, uint32_t colour) {
        auto canvas = screen.Lock();
        for (int x = kStrip.left; x < kStrip.right; ++x) {
            if (canvas.Pixel(x, kStrip.top + row) != colour) return false;
        }
        return true;
    }
    int CountMarkerRows() {
        int n = 0;
        for (int row = 0; row < LevelMeter::kHeight; ++row) n += RowIsWhole(row, LevelMeter::kMarkerColour);
        return n;
    }
    MemoryBackScreen screen;
};

TEST_F(LevelMeterTest, CreationShowsTheWholeScaleWithNineTicks) {
    LevelMeter meter(screen, true, kStrip);
    for (auto [row, colour] : {std::pair{0, kRed}, {12, kRed}, {13, kYellow}, {25, kYellow}, {26, kScale}, {387, kScale}})
        EXPECT_EQ(RowColour(row), colour) << row;
    int ticks = 0;
    for (int row = 0; row < LevelMeter::kHeight; ++row) ticks += TickColumnColour(row) == kTick;
    EXPECT_EQ(ticks, 9);
    for (int row : kTickRows) {
        auto canvas = screen.Lock();
        for (int x = kStrip.left; x < kStrip.right; ++x) {
            const bool inTick = x >= kStrip.left + 5 && x <= kStrip.left + 9;
            EXPECT_EQ(canvas.Pixel(x, kStrip.top + row) == kTick, inTick) << x << "," << row;
        }
    }
    EXPECT_EQ(meter.BarTop(), 388);
    EXPECT_EQ(meter.MarkerRow(), 388);
    EXPECT_EQ(meter.Threshold(), 60.0);
}

TEST_F(LevelMeterTest, WithoutItsScaleBitmapTheMeterDrawsNothingAtCreation) {
    screen.RemoveBitmap(kMeterScaleBitmap);
    LevelMeter meter(screen, false, kStrip);
    EXPECT_EQ(RowColour(0), 0u);
    EXPECT_EQ(TickColumnColour(40), 0u);
}

TEST_F(LevelMeterTest, FirstUpdateAndTheFirstAfterResetRedrawUnsmoothed) {
    LevelMeter meter(screen, true, kStrip);
    EXPECT_EQ(meter.UpdateLevelMeter(48.0), 48.0);
    const int top = 388 - static_cast<int>(48.0 * LevelMeter::kPixelsPerDb);  // 195
    EXPECT_EQ(meter.BarTop(), top);
    EXPECT_EQ(RowColour(top - 1), 0u);
    EXPECT_EQ(RowColour(top), kScale);
    EXPECT_EQ(TickColumnColour(40), 0u);   // ticks above the bar wait for the next update
    EXPECT_EQ(TickColumnColour(241), kScale);  // the copied scale rows are not ticked yet either
    EXPECT_EQ(CountMarkerRows(), 0);
    // A reset shows the whole scale again; then a peak a hair below full scale lights from row 1
    // at once.
    meter.UpdateLevelMeter(48.0);
    meter.ResetLevelMeter();
    EXPECT_EQ(RowColour(0), kRed);
    EXPECT_EQ(meter.BarTop(), 388);
    EXPECT_EQ(meter.MarkerRow(), 388);
    EXPECT_EQ(meter.LastValue(), 0.0);
    EXPECT_EQ(meter.UpdateLevelMeter(kFullScaleDb - 0.000001), kFullScaleDb - 0.000001);
    EXPECT_EQ(meter.BarTop(), 1);
    EXPECT_EQ(RowColour(0), 0u);
    EXPECT_EQ(RowColour(1), kRed);
}

TEST_F(LevelMeterTest, SilenceAfterLoudBlocksShowsAThirdThenNothing) {
    LevelMeter meter(screen, false, kStrip);
    meter.UpdateLevelMeter(90.0);  // full redraw
    EXPECT_DOUBLE_EQ(meter.UpdateLevelMeter(90.0), 90.0);
    const double third = meter.UpdateLevelMeter(0.0);
    EXPECT_DOUBLE_EQ(third, 30.0);
    EXPECT_EQ(meter.BarTop(), 388 - static_cast<int>(30.0 * LevelMeter::kPixelsPerDb));
    EXPECT_EQ(meter.LastValue(), 0.0);
    EXPECT_EQ(meter.UpdateLevelMeter(0.0), 0.0);
    EXPECT_EQ(meter.BarTop(), 388);
    for (int row = 0; row < 388; row += 37) EXPECT_NE(RowColour(row), kScale) << row;
}

TEST_F(LevelMeterTest, MarkerHoldsThePeakAndSinksByItsFallUntilRow387) {
    for (int fall : {2, 1}) {
        LevelMeter meter(screen, false, kStrip);
        meter.SetMarkerFall(static_cast<int16_t>(fall));
        meter.UpdateLevelMeter(90.0);
        meter.UpdateLevelMeter(90.0);
        const int peakTop = meter.BarTop();
        EXPECT_EQ(meter.MarkerRow(), peakTop - 1);
        EXPECT_EQ(CountMarkerRows(), 3);
        EXPECT_TRUE(RowIsWhole(peakTop - 3, LevelMeter::kMarkerColour));
        meter.UpdateLevelMeter(0.0);  // the bar falls to a third: the marker sinks by its fall
        EXPECT_EQ(meter.MarkerRow(), peakTop - 1 + fall);
        EXPECT_EQ(CountMarkerRows(), 3);
        EXPECT_FALSE(RowIsWhole(peakTop - 3, LevelMeter::kMarkerColour));
        int previous = meter.MarkerRow();
        for (int i = 0; i < 400; ++i) {
            meter.UpdateLevelMeter(0.0);
            const int row = meter.MarkerRow();
            EXPECT_TRUE(row == previous + fall || row == 387) << i;
            previous = row;
        }
        EXPECT_EQ(meter.MarkerRow(), 387);
        EXPECT_EQ(CountMarkerRows(), 3);
        EXPECT_TRUE(RowIsWhole(385, LevelMeter::kMarkerColour));
    }
}

TEST_F(LevelMeterTest, ShrinkingBarIsBlackenedAndGrowingBarCopiesTheScale) {
    LevelMeter meter(screen, false, kStrip);
    meter.UpdateLevelMeter(30.0);
    meter.UpdateLevelMeter(30.0);
    const int low = meter.BarTop();
    meter.UpdateLevelMeter(90.0);  // smoothed (15 + 90) / 1.5 = 70
    const int high = meter.BarTop();
    EXPECT_EQ(high, 388 - static_cast<int>(70.0 * LevelMeter::kPixelsPerDb));
    EXPECT_EQ(RowColour(high), high < 26 ? kYellow : kScale);
    EXPECT_EQ(RowColour(low - 5), kScale);
    meter.UpdateLevelMeter(0.0);  // smoothed 30
    EXPECT_EQ(meter.BarTop(), low);
    // The marker sank from high - 1 to high + 1; between it and the bar all is black.
    EXPECT_EQ(meter.MarkerRow(), high + 1);
    for (int row = high + 2; row < low; ++row) EXPECT_EQ(RowColour(row), 0u) << row;
    EXPECT_EQ(RowColour(high - 2), 0u);
}

TEST_F(LevelMeterTest, ThresholdLineOnThePeakMeterOnly) {
    LevelMeter peak(screen, true, kStrip);
    peak.UpdateLevelMeter(0.0);
    peak.UpdateLevelMeter(0.0);
    EXPECT_TRUE(RowIsWhole(241, kWhite));
    EXPECT_EQ(TickColumnColour(241), kWhite);  // the line goes over the -60 dB tick

    peak.SetThreshold(0.0);
    peak.UpdateLevelMeter(0.0);  // a threshold change asks for a full redraw first
    peak.UpdateLevelMeter(0.0);
    EXPECT_TRUE(RowIsWhole(0, kWhite));
    EXPECT_FALSE(RowIsWhole(241, kWhite));

    peak.SetShowThreshold(false);
    peak.SetThreshold(60.0);
    peak.UpdateLevelMeter(0.0);
    peak.UpdateLevelMeter(0.0);
    EXPECT_FALSE(RowIsWhole(241, kWhite));

    screen.Create();
    AddTestBitmaps(screen);
    LevelMeter vu(screen, false, kStrip);
    vu.UpdateLevelMeter(0.0);
    vu.UpdateLevelMeter(0.0);
    EXPECT_FALSE(RowIsWhole(241, kWhite));
}

TEST_F(LevelMeterTest, FloorLevelPeakLeavesTheStripBlack) {
    LevelMeter meter(screen, true, kStrip);
    // A peak at the floor is a hair below 0 dB above it.
    meter.UpdateLevelMeter(kFullScaleDb + kFloorDb);
    meter.UpdateLevelMeter(kFullScaleDb + kFloorDb);
    EXPECT_EQ(meter.BarTop(), 388);
    EXPECT_EQ(RowColour(300), 0u);
    EXPECT_EQ(meter.MarkerRow(), 387);  // the marker rests on the bottom rows
    EXPECT_TRUE(RowIsWhole(387, LevelMeter::kMarkerColour));
}

}  // namespace
}  // namespace sonotrap
