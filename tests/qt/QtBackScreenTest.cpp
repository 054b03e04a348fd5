#include "adapters/qt/QtBackScreen.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "display/FrequencyGraph.h"
#include "display/LevelScale.h"
#include "display/ScreenLayout.h"
#include "display/StaticScreen.h"
#include "display/TestBitmaps.h"
#include "qt/QtTestApplication.h"
#include "support/TestSupport.h"

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
    const PixelImage& Bitmap(int id) {
        const PixelImage* image = screen->FindBitmap(id);
        EXPECT_NE(image, nullptr) << id;
        static const PixelImage empty{1, 1, {0}};
        return image ? *image : empty;
    }
    // Pixels of a rectangle of the screen that are not the given colour.
    int CountOther(const Rect& r, uint32_t colour) {
        int n = 0;
        auto canvas = screen->Lock();
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) n += canvas.Pixel(x, y) != colour;
        }
        return n;
    }
    std::optional<QtBackScreen> screen;
};

TEST_F(QtBackScreenTest, EveryBitmapLoadsWithItsSize) {
    const struct {
        int id, width, height;
    } sizes[] = {{107, 32, 32},  {108, 16, 16},  {129, 482, 322}, {130, 482, 37}, {131, 482, 29},
                 {132, 15, 388}, {133, 38, 27},  {134, 38, 27},   {135, 235, 27}, {136, 235, 27},
                 {137, 12, 12},  {138, 12, 12},  {139, 12, 12},   {140, 235, 27}, {141, 400, 24}};
    for (const auto& s : sizes) {
        const PixelImage& image = Bitmap(s.id);
        EXPECT_EQ(image.width, s.width) << s.id;
        EXPECT_EQ(image.height, s.height) << s.id;
        for (uint32_t p : image.pixels) ASSERT_EQ(p >> 24, 0u) << s.id;
    }
    EXPECT_EQ(screen->FindBitmap(142), nullptr);
}

TEST_F(QtBackScreenTest, BitmapsHaveTheirDocumentedColours) {
    constexpr uint32_t kRed = Rgb(215, 85, 85), kYellow = Rgb(209, 213, 87), kTeal = Rgb(115, 185, 185);
    for (int x = 0; x < 15; ++x) {
        for (auto [y, colour] : {std::pair{0, kRed}, {12, kRed}, {13, kYellow}, {25, kYellow}, {26, kTeal}, {387, kTeal}})
            EXPECT_EQ(Bitmap(kMeterScaleBitmap).At(x, y), colour) << x << "," << y;
    }
    for (int o = 0; o < 10; ++o) {
        const uint32_t colour = o % 2 ? Rgb(192, 255, 192) : Rgb(192, 192, 255);
        EXPECT_EQ(Bitmap(kNoteStripBitmap).At(1 + 48 * o, 1), colour) << o;
        EXPECT_EQ(Bitmap(kNoteStripBitmap).At(48 + 48 * o, 35), colour) << o;
    }
    const struct {
        int id, x, y;
        uint32_t colour;
    } pixels[] = {{kPanelBitmap, 0, 0, kWhite},         {kPanelBitmap, 481, 321, kWhite},
                  {kPanelBitmap, 1, 1, kBlack},         {kPanelBitmap, 480, 320, kBlack},
                  {kNoteStripBitmap, 0, 10, kWhite},    {kNoteStripBitmap, 10, 0, kWhite},
                  {kTitleBitmap, 0, 0, kBackgroundColour}, {kIdleStripBitmap, 0, 0, kTeal},
                  {kRunningStripBitmap, 234, 26, kTeal}, {kStartBitmap, 19, 3, kTeal},
                  {kEmptyMarkerBitmap, 5, 5, kWhite},   {kSelectedMarkerBitmap, 5, 5, kBlack},
                  {kRecordingBannerBitmap, 0, 0, kTeal}};
    for (const auto& p : pixels) EXPECT_EQ(Bitmap(p.id).At(p.x, p.y), p.colour) << p.id << " " << p.x << "," << p.y;
}

TEST_F(QtBackScreenTest, TextFillsItsCellWithTheBackgroundAndDrawsInBlack) {
    const uint32_t background = Rgb(192, 255, 192);
    const int h = screen->FontHeight();
    EXPECT_GE(h, 8);
    EXPECT_LE(2 * (h + 2), 37);  // two lines fit in the note strip
    screen->Lock().DrawText(100, 50, "A4", TextStyle{kBlack, background, TextAlign::Left});
    EXPECT_EQ(Pixel(100, 50), background);
    EXPECT_EQ(Pixel(99, 50), kBlack);  // nothing left of the cell
    int black = 0;
    int other = 0;
    for (int y = 50; y < 50 + h; ++y) {
        for (int x = 100; x < 130; ++x) {
            const uint32_t p = Pixel(x, y);
            black += p == kBlack;
            other += p != kBlack && p != background;
        }
    }
    EXPECT_GT(black, 10);
    EXPECT_EQ(other, 0);  // hard-edged glyphs: only the two colours
    for (int y = 48; y < 52 + h; ++y) {
        for (int x = 95; x < 140; ++x) ASSERT_EQ(Pixel(x, y) >> 24, 0u);
    }
    // Right-aligned text ends at x.
    screen->Lock().FillRect(Rect{400, 100, 600, 130}, kWhite);
    screen->Lock().DrawText(575, 105, "-23.4", TextStyle{kBlack, background, TextAlign::Right});
    for (auto [x, colour] : {std::pair{574, background}, {575, kWhite}, {562, background}, {500, kWhite}})
        EXPECT_EQ(Pixel(x, 105), colour) << x;
}

TEST_F(QtBackScreenTest, PaintCopiesTheScreenAndBlackBeforeItExists) {
    screen->Lock().FillRect(Rect{10, 10, 20, 20}, Rgb(1, 2, 3));
    QImage window(648, 488, QImage::Format_RGB32);
    window.fill(Qt::white);
    {
        QPainter painter(&window);
        screen->PaintTo(painter, QRect(0, 0, 648, 488));
    }
    EXPECT_EQ(window.pixel(15, 15) & 0xFFFFFFu, Rgb(1, 2, 3));
    EXPECT_EQ(window.pixel(639, 479) & 0xFFFFFFu, 0u);
    EXPECT_EQ(window.pixel(640, 480) & 0xFFFFFFu, 0xFFFFFFu);  // outside the screen: left alone
    screen->Release();
    window.fill(Qt::white);
    {
        QPainter painter(&window);
        screen->PaintTo(painter, QRect(5, 5, 10, 10));
    }
    EXPECT_EQ(window.pixel(5, 5) & 0xFFFFFFu, 0u);
    EXPECT_EQ(window.pixel(15, 15) & 0xFFFFFFu, 0xFFFFFFu);
}

TEST_F(QtBackScreenTest, SavedPngHoldsTheScreen) {
    std::atomic<int32_t> modeIndex{0};
    DrawStaticScreen(*screen, modeIndex);
    test::TempDir dir;
    const std::string path = dir.File("screen.png");
    ASSERT_TRUE(screen->SavePng(QString::fromStdString(path)));
    QImage loaded(QString::fromStdString(path));
    ASSERT_EQ(loaded.size(), QSize(640, 480));
    for (int y = 0; y < 480; y += 7) {
        for (int x = 0; x < 640; x += 5) ASSERT_EQ(loaded.pixel(x, y) & 0xFFFFFFu, Pixel(x, y)) << x << "," << y;
    }
    EXPECT_EQ(loaded.pixel(0, 0) & 0xFFFFFFu, kBackgroundColour);
    EXPECT_GT(CountOther(kTitleRect, kBackgroundColour), 100);  // the title's letters
}

// The note strip, read back by drawing the expected texts on a second screen.
TEST_F(QtBackScreenTest, A4PeakNamesTheNoteInOctaveFour) {
    FrequencyGraph graph(*screen);
    graph.Notes() = test::NoNotes();
    test::SetNotePeak(graph.Notes(), 228, 440.0068f, -20.0f, "A4");
    graph.DrawGraph();
    for (int y = 123; y <= 362; ++y) ASSERT_EQ(Pixel(308, y), Rgb(192, 192, 255)) << y;
    EXPECT_EQ(Pixel(308, 122), kBlack);

    QtBackScreen reference;
    reference.Create();
    const int L = graph.LineHeight();
    const TextStyle style{kBlack, Rgb(192, 192, 255), TextAlign::Left};
    {
        auto canvas = reference.Lock();
        canvas.CopyBitmap(kNoteStripBitmap, 79, 365, 482, 37);
        canvas.DrawText(272, 365, "A4", style);
        canvas.DrawText(272, 365 + L, "440.00", style);
    }
    const Rect field{272, 365, 320, 402};
    int differing = 0;
    int black = 0;
    for (int y = field.top; y < field.bottom; ++y) {
        for (int x = field.left; x < field.right; ++x) {
            differing += Pixel(x, y) != reference.Lock().Pixel(x, y);
            black += Pixel(x, y) == kBlack;
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_GT(black, 20);
    // Octaves without a note show only the strip.
    EXPECT_EQ(CountOther(Rect{81, 366, 127, 401}, Rgb(192, 192, 255)), 0);
}

// A worker thread writes text while the GUI thread paints: the adapter serialises them.
TEST_F(QtBackScreenTest, TextFromAWorkerWhilePainting) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 300; ++i) {
            screen->Lock().DrawText(575, 435, std::to_string(i), TextStyle{kBlack, kWhite, TextAlign::Right});
        }
        done = true;
    });
    QImage window(648, 488, QImage::Format_RGB32);
    int paints = 0;
    while (!done || paints == 0) {
        QPainter painter(&window);
        screen->PaintTo(painter, QRect(500, 420, 148, 68));
        ++paints;
    }
    worker.join();
    // The screen holds the last text whole, as drawn alone on a fresh screen.
    QtBackScreen reference;
    reference.Create();
    reference.Lock().DrawText(575, 435, "299", TextStyle{kBlack, kWhite, TextAlign::Right});
    const Rect cell{545, 435, 575, 435 + screen->FontHeight()};
    for (int y = cell.top; y < cell.bottom; ++y) {
        for (int x = cell.left; x < cell.right; ++x) {
            const uint32_t expected = reference.Lock().Pixel(x, y);
            // Wider earlier texts ("100".."298") may show left of the last one's cell.
            if (expected != kBlack && expected != kWhite) continue;
            if (expected == kBlack) {
                ASSERT_EQ(Pixel(x, y), kBlack) << x << "," << y;
            }
        }
    }
    EXPECT_GT(paints, 0);
}

}  // namespace
}  // namespace sonotrap
