#include "adapters/qt/QtBackScreen.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <optional>
#include <string>

#include "display/ScreenLayout.h"
#include "qt/QtTestApplication.h"

namespace sonotrap {
namespace {

class QtBackScreenTest : public ::testing::Test {
protected:
    QtBackScreenTest() {
        test::QtTestApplication();
        screen.emplace();
        screen->Create();
    }
    uint32_t Pixel(int x, int y) { return screen->Lock().Pixel(x, y); }
    // Paints the screen's rect into a white window image.
    QImage Painted(const QRect& rect) {
        QImage window(648, 488, QImage::Format_RGB32);
        window.fill(Qt::white);
        QPainter painter(&window);
        screen->PaintTo(painter, rect);
        return window;
    }
    std::optional<QtBackScreen> screen;
};

// Sizes, opaque pixels and one telling pixel of each bitmap.
TEST_F(QtBackScreenTest, EveryBitmapLoadsWithItsSizeAndColours) {
    constexpr uint32_t kTeal = Rgb(115, 185, 185);
    const struct {
        int id, width, height, x, y;
        uint32_t colour;
    } bitmaps[] = {{kPanelBitmap, 482, 322, 1, 1, kBlack},          {kNoteStripBitmap, 482, 37, 49, 1, Rgb(192, 255, 192)},
                   {kRulerBitmap, 482, 29, -1, 0, 0}, {kMeterScaleBitmap, 15, 388, 0, 12, Rgb(215, 85, 85)},
                   {kStartBitmap, 38, 27, 19, 3, kTeal},            {kStopBitmap, 38, 27, -1, 0, 0},
                   {kRunningStripBitmap, 235, 27, 234, 26, kTeal},   {kIdleStripBitmap, 235, 27, 0, 0, kTeal},
                   {kEmptyMarkerBitmap, 12, 12, 5, 5, kWhite},       {kSelectedMarkerBitmap, 12, 12, 5, 5, kBlack},
                   {kNoMarkerBitmap, 12, 12, -1, 0, 0}, {kRecordingBannerBitmap, 235, 27, 0, 0, kTeal},
                   {kTitleBitmap, 400, 24, 0, 0, kBackgroundColour},  {107, 32, 32, -1, 0, 0},
                   {108, 16, 16, -1, 0, 0}};
    for (const auto& b : bitmaps) {
        const PixelImage* image = screen->FindBitmap(b.id);
        ASSERT_NE(image, nullptr) << b.id;
        EXPECT_EQ(std::pair(image->width, image->height), std::pair(b.width, b.height)) << b.id;
        for (uint32_t p : image->pixels) ASSERT_EQ(p >> 24, 0u) << b.id;
        if (b.x >= 0) {
            EXPECT_EQ(image->At(b.x, b.y), b.colour) << b.id;
        }
    }
    EXPECT_EQ(screen->FindBitmap(142), nullptr);
}

TEST_F(QtBackScreenTest, TextFillsItsCellWithTheBackgroundAndDrawsInBlack) {
    const uint32_t background = Rgb(192, 255, 192);
    const int h = screen->FontHeight();
    EXPECT_GE(h, 8);
    EXPECT_LE(2 * (h + 2), 37);  // two lines fit in the note strip
    screen->Lock().DrawText(100, 50, "A4", TextStyle{kBlack, background, TextAlign::Left});
    EXPECT_EQ(Pixel(100, 50), background);
    EXPECT_EQ(Pixel(99, 50), kBlack);  // nothing left of the cell
    int black = 0, other = 0;
    for (int y = 50; y < 50 + h; ++y) {
        for (int x = 100; x < 130; ++x) {
            black += Pixel(x, y) == kBlack;
            other += Pixel(x, y) != kBlack && Pixel(x, y) != background;
        }
    }
    EXPECT_GT(black, 10);
    EXPECT_EQ(other, 0);  // hard-edged glyphs: only the two colours
    // Right-aligned text ends at x.
    screen->Lock().FillRect(Rect{400, 100, 600, 130}, kWhite);
    screen->Lock().DrawText(575, 105, "-23.4", TextStyle{kBlack, background, TextAlign::Right});
    for (auto [x, colour] : {std::pair{574, background}, {575, kWhite}, {562, background}, {500, kWhite}})
        EXPECT_EQ(Pixel(x, 105), colour) << x;
}

TEST_F(QtBackScreenTest, PaintCopiesTheScreenAndBlackBeforeItExists) {
    screen->Lock().FillRect(Rect{10, 10, 20, 20}, Rgb(1, 2, 3));
    QImage window = Painted(QRect(0, 0, 648, 488));
    EXPECT_EQ(window.pixel(15, 15) & 0xFFFFFFu, Rgb(1, 2, 3));
    EXPECT_EQ(window.pixel(639, 479) & 0xFFFFFFu, 0u);
    EXPECT_EQ(window.pixel(640, 480) & 0xFFFFFFu, 0xFFFFFFu);  // outside the screen: left alone
    screen->Release();
    window = Painted(QRect(5, 5, 10, 10));
    EXPECT_EQ(window.pixel(5, 5) & 0xFFFFFFu, 0u);
    EXPECT_EQ(window.pixel(15, 15) & 0xFFFFFFu, 0xFFFFFFu);
}

}  // namespace
}  // namespace sonotrap
