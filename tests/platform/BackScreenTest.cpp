#include "platform/BackScreen.h"

#include <gtest/gtest.h>

#include "adapters/virtual/MemoryBackScreen.h"

namespace sonotrap {
namespace {

PixelImage Numbered(int width, int height) {
    PixelImage image{width, height, {}};
    for (int i = 0; i < width * height; ++i) image.pixels.push_back(static_cast<uint32_t>(i + 1));
    return image;
}

struct PixelIs {
    int x, y;
    uint32_t value;
};

class BackScreenTest : public ::testing::Test {
protected:
    BackScreenTest() { screen.Create(); }
    uint32_t Pixel(int x, int y) { return screen.Lock().Pixel(x, y); }
    void ExpectPixels(std::initializer_list<PixelIs> pixels) {
        for (const auto& p : pixels) EXPECT_EQ(Pixel(p.x, p.y), p.value) << p.x << "," << p.y;
    }
    MemoryBackScreen screen;
};

TEST_F(BackScreenTest, CreatedBlackAndRecreatedBlackAgain) {
    EXPECT_TRUE(screen.IsCreated());
    EXPECT_EQ(Pixel(0, 0), 0u);
    screen.Lock().FillRect(Rect{0, 0, 640, 480}, 0x123456);
    EXPECT_EQ(Pixel(639, 479), 0x123456u);
    EXPECT_TRUE(screen.Create());
    EXPECT_EQ(Pixel(639, 479), 0u);
}

TEST_F(BackScreenTest, WithoutPixelsEveryOperationDoesNothing) {
    screen.Release();
    EXPECT_FALSE(screen.IsCreated());
    screen.SetBitmap(1, Numbered(4, 4));
    auto canvas = screen.Lock();
    EXPECT_EQ(canvas.Pixels(), nullptr);
    canvas.FillRect(Rect{0, 0, 10, 10}, 1);
    canvas.SetPixel(1, 1, 1);
    canvas.CopyBitmap(1, 0, 0, 4, 4);
    canvas.DrawText(0, 0, "x", TextStyle{});
    EXPECT_EQ(canvas.Pixel(1, 1), 0u);
    PixelImage saved;
    canvas.SaveRect(Rect{0, 0, 2, 3}, &saved);
    EXPECT_EQ(saved.width, 2);
    EXPECT_EQ(saved.pixels, std::vector<uint32_t>(6, 0u));
}

TEST_F(BackScreenTest, FillsAndPixelsAreClippedToTheScreen) {
    {
        auto canvas = screen.Lock();
        canvas.FillRect(Rect{630, 470, 700, 500}, 7);
        canvas.FillRect(Rect{-5, -5, 2, 1}, 8);
        canvas.FillRect(Rect{10, 10, 5, 20}, 9);  // empty
        canvas.SetPixel(-1, 0, 5);
        canvas.SetPixel(640, 0, 5);
        EXPECT_EQ(canvas.Pixel(-1, 0), 0u);
    }
    ExpectPixels({{639, 479, 7}, {629, 479, 0}, {0, 0, 8}, {2, 0, 0}, {0, 1, 0}, {10, 10, 0}});
}

TEST_F(BackScreenTest, RectangleHasAOnePixelOutlineInsideItsExclusiveEdges) {
    screen.Lock().DrawRectangle(Rect{10, 20, 15, 24}, 1, 2);
    ExpectPixels({{10, 20, 1}, {14, 23, 1}, {14, 21, 1}, {11, 21, 2}, {13, 22, 2}, {15, 23, 0}, {14, 24, 0}});
}

TEST_F(BackScreenTest, BitmapCopiesTakeOnlyWhatTheBitmapHas) {
    screen.SetBitmap(5, Numbered(3, 4));
    // From row 2 of the bitmap, asking for 5 rows: only rows 2 and 3 exist.
    screen.Lock().CopyBitmap(5, 100, 50, 3, 5, 0, 2);
    ExpectPixels({{100, 50, 7}, {102, 51, 12}, {100, 52, 0}, {103, 50, 0}});
    // Negative source rows are skipped, keeping source and destination aligned.
    screen.Lock().CopyBitmap(5, 200, 10, 3, 4, 0, -1);
    ExpectPixels({{200, 10, 0}, {200, 11, 1}, {202, 13, 9}});
    // Off the screen edges.
    screen.Lock().CopyBitmap(5, 638, -2, 3, 4);
    ExpectPixels({{638, 0, 7}, {639, 1, 11}});
    // An unknown bitmap copies nothing.
    const auto before = screen.Snapshot();
    screen.Lock().CopyBitmap(99, 0, 0, 10, 10);
    EXPECT_EQ(before.pixels, screen.Snapshot().pixels);
}

TEST_F(BackScreenTest, SavedRectanglesCopyBackExactly) {
    screen.SetBitmap(5, Numbered(3, 4));
    screen.Lock().CopyBitmap(5, 20, 30, 3, 4);
    PixelImage saved;
    screen.Lock().SaveRect(Rect{20, 30, 23, 34}, &saved);
    EXPECT_EQ(saved.pixels, Numbered(3, 4).pixels);
    screen.Lock().FillRect(Rect{20, 30, 23, 34}, 0);
    screen.Lock().CopyImage(saved, 20, 30, 3, 4);
    EXPECT_EQ(Pixel(22, 33), 12u);
}

TEST_F(BackScreenTest, InvalidationsGoToTheSinkTheWindowSet) {
    std::vector<Rect> rects;
    int updates = 0;
    screen.Invalidate(Rect{1, 2, 3, 4});  // no sink yet: dropped
    screen.UpdateWindow();
    screen.SetInvalidationSink({[&](const Rect& r) { rects.push_back(r); }, [&] { ++updates; }});
    screen.Invalidate(Rect{1, 2, 3, 4});
    screen.UpdateWindow();
    screen.SetInvalidationSink({});
    screen.Invalidate(Rect{5, 6, 7, 8});
    EXPECT_EQ(rects, std::vector<Rect>{(Rect{1, 2, 3, 4})});
    EXPECT_EQ(updates, 1);
}

TEST_F(BackScreenTest, TextIsRecordedWithItsCellFilledInTheBackground) {
    screen.Lock().DrawText(100, 10, "abc", TextStyle{0, 0x00FF00, TextAlign::Right});
    ExpectPixels({{99, 10, 0x00FF00}, {100 - 3 * MemoryBackScreen::kCharWidth, 10, 0x00FF00}, {100, 10, 0}});
    ASSERT_EQ(screen.TextCalls().size(), 1u);
    EXPECT_EQ(screen.TextCalls()[0].text, "abc");
}

}  // namespace
}  // namespace sonotrap
