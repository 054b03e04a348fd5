#include "platform/BackScreen.h"

#include <gtest/gtest.h>

#include <tuple>

#include "adapters/virtual/MemoryBackScreen.h"

namespace sonotrap {
namespace {

PixelImage Numbered(int width, int height) {
    PixelImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) image.pixels.push_back(static_cast<uint32_t>(i + 1));
    return image;
}

class BackScreenTest : public ::testing::Test {
protected:
    BackScreenTest() { screen.Create(); }
    void ExpectPixels(std::initializer_list<std::tuple<int, int, uint32_t>> pixels) {
        for (auto [x, y, value] : pixels) EXPECT_EQ(screen.Lock().Pixel(x, y), value) << x << "," << y;
    }
    MemoryBackScreen screen;
};

TEST_F(BackScreenTest, RecreatedBlackAndWithoutPixelsEveryOperationDoesNothing) {
    screen.Lock().FillRect(Rect{0, 0, 640, 480}, 0x123456);
    EXPECT_TRUE(screen.Create());
    ExpectPixels({{639, 479, 0u}});
    screen.Release();
    EXPECT_FALSE(screen.IsCreated());
    screen.SetBitmap(1, Numbered(4, 4));
    auto canvas = screen.Lock();
    canvas.FillRect(Rect{0, 0, 10, 10}, 1);
    canvas.SetPixel(1, 1, 1);
    canvas.CopyBitmap(1, 0, 0, 4, 4);
    EXPECT_EQ(canvas.Pixel(1, 1), 0u);
    PixelImage saved;
    canvas.SaveRect(Rect{0, 0, 2, 3}, &saved);
    EXPECT_EQ(saved.pixels, std::vector<uint32_t>(6, 0u));
}

TEST_F(BackScreenTest, FillsPixelsAndOutlinesAreClippedToTheScreen) {
    {
        auto canvas = screen.Lock();
        canvas.FillRect(Rect{630, 470, 700, 500}, 7);
        canvas.FillRect(Rect{-5, -5, 2, 1}, 8);
        canvas.FillRect(Rect{10, 10, 5, 20}, 9);  // empty
        canvas.SetPixel(-1, 0, 5);
        canvas.SetPixel(640, 0, 5);
        EXPECT_EQ(canvas.Pixel(-1, 0), 0u);
        canvas.DrawRectangle(Rect{10, 20, 15, 24}, 1, 2);  // outline inside the exclusive edges
    }
    ExpectPixels({{639, 479, 7}, {629, 479, 0}, {0, 0, 8}, {2, 0, 0}, {0, 1, 0}, {10, 10, 0}});
    ExpectPixels({{10, 20, 1}, {14, 23, 1}, {14, 21, 1}, {11, 21, 2}, {13, 22, 2}, {15, 23, 0}, {14, 24, 0}});
}

TEST_F(BackScreenTest, BitmapCopiesTakeOnlyWhatTheBitmapHasAndSavedRectanglesCopyBack) {
    screen.SetBitmap(5, Numbered(3, 4));
    // From row 2 of the bitmap, asking for 5 rows: only rows 2 and 3 exist.
    screen.Lock().CopyBitmap(5, 100, 50, 3, 5, 0, 2);
    ExpectPixels({{100, 50, 7}, {102, 51, 12}, {100, 52, 0}, {103, 50, 0}});
    // Negative source rows are skipped, keeping source and destination aligned.
    screen.Lock().CopyBitmap(5, 200, 10, 3, 4, 0, -1);
    ExpectPixels({{200, 10, 0}, {200, 11, 1}, {202, 13, 9}});
    screen.Lock().CopyBitmap(5, 638, -2, 3, 4);  // off the screen edges
    ExpectPixels({{638, 0, 7}, {639, 1, 11}});
    const auto before = screen.Snapshot();
    screen.Lock().CopyBitmap(99, 0, 0, 10, 10);  // an unknown bitmap copies nothing
    EXPECT_EQ(before.pixels, screen.Snapshot().pixels);

    PixelImage saved;
    screen.Lock().SaveRect(Rect{100, 50, 103, 52}, &saved);
    EXPECT_EQ(saved.pixels, (std::vector<uint32_t>{7, 8, 9, 10, 11, 12}));
    screen.Lock().CopyImage(saved, 20, 30, 3, 2);
    ExpectPixels({{22, 31, 12}, {22, 32, 0}});
}

TEST_F(BackScreenTest, TextFillsItsCellInTheBackground) {
    screen.Invalidate(Rect{1, 2, 3, 4});  // no sink yet: dropped
    screen.Lock().DrawText(100, 10, "abc", TextStyle{0, 0x00FF00, TextAlign::Right});
    ExpectPixels({{99, 10, 0x00FF00}, {100 - 3 * MemoryBackScreen::kCharWidth, 10, 0x00FF00}, {100, 10, 0}});
    ASSERT_EQ(screen.TextCalls().size(), 1u);
    EXPECT_EQ(screen.TextCalls()[0].text, "abc");
}

}  // namespace
}  // namespace sonotrap
