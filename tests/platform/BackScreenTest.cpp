#include "platform/BackScreen.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/virtual/MemoryBackScreen.h"

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
    uint32_t Pixel(int x, int y) { return screen.Lock().Pixel(x, y); }
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
    auto canvas = screen.Lock();
    canvas.FillRect(Rect{630, 470, 700, 500}, 7);
    canvas.FillRect(Rect{-5, -5, 2, 1}, 8);
    canvas.FillRect(Rect{10, 10, 5, 20}, 9);  // empty
    canvas.SetPixel(-1, 0, 5);
    canvas.SetPixel(640, 0, 5);
    EXPECT_EQ(canvas.Pixel(639, 479), 7u);
    EXPECT_EQ(canvas.Pixel(629, 479), 0u);
    EXPECT_EQ(canvas.Pixel(0, 0), 8u);
    EXPECT_EQ(canvas.Pixel(2, 0), 0u);
    EXPECT_EQ(canvas.Pixel(0, 1), 0u);
    EXPECT_EQ(canvas.Pixel(10, 10), 0u);
    EXPECT_EQ(canvas.Pixel(-1, 0), 0u);
}

TEST_F(BackScreenTest, RectangleHasAOnePixelOutlineInsideItsExclusiveEdges) {
    screen.Lock().DrawRectangle(Rect{10, 20, 15, 24}, 1, 2);
    EXPECT_EQ(Pixel(10, 20), 1u);
    EXPECT_EQ(Pixel(14, 23), 1u);
    EXPECT_EQ(Pixel(14, 21), 1u);
    EXPECT_EQ(Pixel(11, 21), 2u);
    EXPECT_EQ(Pixel(13, 22), 2u);
    EXPECT_EQ(Pixel(15, 23), 0u);
    EXPECT_EQ(Pixel(14, 24), 0u);
}

TEST_F(BackScreenTest, BitmapCopiesTakeOnlyWhatTheBitmapHas) {
    screen.SetBitmap(5, Numbered(3, 4));
    // From row 2 of the bitmap, asking for 5 rows: only rows 2 and 3 exist.
    screen.Lock().CopyBitmap(5, 100, 50, 3, 5, 0, 2);
    EXPECT_EQ(Pixel(100, 50), 7u);
    EXPECT_EQ(Pixel(102, 51), 12u);
    EXPECT_EQ(Pixel(100, 52), 0u);
    EXPECT_EQ(Pixel(103, 50), 0u);
    // Negative source rows are skipped, keeping source and destination aligned.
    screen.Lock().CopyBitmap(5, 200, 10, 3, 4, 0, -1);
    EXPECT_EQ(Pixel(200, 10), 0u);
    EXPECT_EQ(Pixel(200, 11), 1u);
    EXPECT_EQ(Pixel(202, 13), 9u);
    // Off the screen edges.
    screen.Lock().CopyBitmap(5, 638, -2, 3, 4);
    EXPECT_EQ(Pixel(638, 0), 7u);
    EXPECT_EQ(Pixel(639, 1), 11u);
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
    EXPECT_EQ(Pixel(99, 10), 0x00FF00u);
    EXPECT_EQ(Pixel(100 - 3 * MemoryBackScreen::kCharWidth, 10), 0x00FF00u);
    EXPECT_EQ(Pixel(100, 10), 0u);
    ASSERT_EQ(screen.TextCalls().size(), 1u);
    EXPECT_EQ(screen.TextCalls()[0].text, "abc");
}

// Painters on several threads and a reader copying: every operation sees a whole fill.
TEST_F(BackScreenTest, DrawingFromSeveralThreadsIsSerialised) {
    std::atomic<bool> torn{false};
    std::vector<std::thread> painters;
    for (uint32_t colour = 1; colour <= 3; ++colour) {
        painters.emplace_back([&, colour] {
            for (int i = 0; i < 200; ++i) screen.Lock().FillRect(Rect{0, 0, 640, 40}, colour);
        });
    }
    std::thread reader([&] {
        for (int i = 0; i < 200; ++i) {
            auto canvas = screen.Lock();
            const uint32_t first = canvas.Pixel(0, 0);
            if (canvas.Pixel(639, 39) != first) torn = true;
        }
    });
    for (auto& t : painters) t.join();
    reader.join();
    EXPECT_FALSE(torn);
}

}  // namespace
}  // namespace sonotrap
