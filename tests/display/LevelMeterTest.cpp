#include "display/LevelMeter.h"

#include <gtest/gtest.h>

#include "display/LevelScale.h"
#include "display/TestBitmaps.h"

namespace sonotrap {
namespace {

constexpr Rect kStrip{561, 43, 576, 431};
constexpr uint32_t kRed = Rgb(215, 85, 85);
constexpr uint32_t kYellow = Rgb(209, 213, 87);
constexpr uint32_t kScale = Rgb(115, 185, 185);
constexpr uint32_t kTick = Rgb(64, 128, 128);

class LevelMeterTest : public ::testing::Test {
protected:
    LevelMeterTest() {
        test::AddTestBitmaps(screen);
        screen.Create();
    }
    // Colour of strip row `row` in column x of the strip (by default its last, clear of ticks).
    uint32_t RowColour(int row, int x = 14) { return screen.Lock().Pixel(kStrip.left + x, kStrip.top + row); }
    bool RowIsWhole(int row, uint32_t colour) {
        for (int x = 0; x < 15; ++x)
            if (RowColour(row, x) != colour) return false;
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
    std::vector<int> ticks;
    for (int row = 0; row < LevelMeter::kHeight; ++row)
        if (RowColour(row, 7) == kTick) ticks.push_back(row);
    EXPECT_EQ(ticks, (std::vector<int>{40, 80, 120, 161, 201, 241, 281, 322, 362}));
    for (int x = 0; x < 15; ++x) EXPECT_EQ(RowColour(40, x) == kTick, x >= 5 && x <= 9) << x;  // 5 pixels wide

    screen.RemoveBitmap(kMeterScaleBitmap);
    screen.Create();
    LevelMeter bare(screen, false, kStrip);  // without its scale the meter draws nothing
    EXPECT_EQ(RowColour(0), 0u);
    EXPECT_EQ(RowColour(40, 7), 0u);
}

TEST_F(LevelMeterTest, FirstUpdateRedrawsUnsmoothedThenSilenceShowsAThirdThenNothing) {
    LevelMeter meter(screen, true, kStrip);
    EXPECT_EQ(meter.UpdateLevelMeter(90.0), 90.0);
    const int top = 388 - static_cast<int>(90.0 * LevelMeter::kPixelsPerDb);
    EXPECT_EQ(meter.BarTop(), top);
    EXPECT_EQ(RowColour(top - 1), 0u);
    EXPECT_EQ(RowColour(top), kScale);
    EXPECT_EQ(CountMarkerRows(), 0);  // ticks and marker wait for the next update
    EXPECT_DOUBLE_EQ(meter.UpdateLevelMeter(90.0), 90.0);
    EXPECT_DOUBLE_EQ(meter.UpdateLevelMeter(0.0), 30.0);
    EXPECT_EQ(meter.BarTop(), 388 - static_cast<int>(30.0 * LevelMeter::kPixelsPerDb));
    EXPECT_EQ(meter.UpdateLevelMeter(0.0), 0.0);
    EXPECT_EQ(meter.BarTop(), 388);
    EXPECT_NE(RowColour(300), kScale);
    meter.UpdateLevelMeter(96.0);  // smoothed to 64: the bar grows from the scale's row
    const int grown = 388 - static_cast<int>(64.0 * LevelMeter::kPixelsPerDb);
    EXPECT_EQ(RowColour(grown), kScale);
    EXPECT_EQ(RowColour(grown - 4), 0u);  // above the marker's three rows
    // A reset shows the whole scale; then a peak a hair below full scale lights from row 1.
    meter.ResetLevelMeter();
    EXPECT_EQ(RowColour(0), kRed);
    meter.UpdateLevelMeter(kFullScaleDb - 0.000001);
    EXPECT_EQ(meter.BarTop(), 1);
}

TEST_F(LevelMeterTest, MarkerHoldsThePeakAndSinksByItsFallUntilRow387) {
    for (int fall : {2, 1}) {
        LevelMeter meter(screen, false, kStrip);
        meter.SetMarkerFall(static_cast<int16_t>(fall));
        meter.UpdateLevelMeter(90.0);
        meter.UpdateLevelMeter(90.0);
        const int peakTop = meter.BarTop();
        EXPECT_EQ(meter.MarkerRow(), peakTop - 1);
        EXPECT_TRUE(RowIsWhole(peakTop - 3, LevelMeter::kMarkerColour));
        meter.UpdateLevelMeter(0.0);  // the bar falls to a third: the marker sinks by its fall
        EXPECT_EQ(meter.MarkerRow(), peakTop - 1 + fall);
        EXPECT_FALSE(RowIsWhole(peakTop - 3, LevelMeter::kMarkerColour));
        int previous = meter.MarkerRow();
        for (int i = 0; i < 400; ++i) {
            meter.UpdateLevelMeter(0.0);
            EXPECT_TRUE(meter.MarkerRow() == previous + fall || meter.MarkerRow() == 387) << i;
            previous = meter.MarkerRow();
        }
        EXPECT_EQ(meter.MarkerRow(), 387);
        EXPECT_EQ(CountMarkerRows(), 3);  // rows 385 to 387
    }
}

TEST_F(LevelMeterTest, ThresholdLineOnThePeakMeterOnly) {
    for (bool isPeak : {true, false}) {
        LevelMeter meter(screen, isPeak, kStrip);
        for (double threshold : {60.0, 0.0}) {
            meter.SetThreshold(threshold);  // asks for a full redraw first
            meter.UpdateLevelMeter(0.0);
            meter.UpdateLevelMeter(0.0);
            EXPECT_EQ(RowIsWhole(threshold == 60.0 ? 241 : 0, kWhite), isPeak) << threshold;
        }
    }
}

}  // namespace
}  // namespace sonotrap
