#include "display/FrequencyGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <tuple>

#include "display/LevelScale.h"
#include "display/TestBitmaps.h"

namespace sonotrap {
namespace {

constexpr int kL = 12 + 2;  // line height with a 12-pixel font
using Texts = std::vector<std::string>;

class FrequencyGraphTest : public ::testing::Test {
protected:
    FrequencyGraphTest() : screen(12) {
        test::AddTestBitmaps(screen);
        screen.Create();
        graph.emplace(screen);
        log.Attach(screen);
        graph->Notes() = test::NoNotes();
    }
    uint32_t Pixel(int x, int y) { return screen.Lock().Pixel(x, y); }
    // The first row of column x in the plot that is not black, or 363.
    int ColumnTop(int x) {
        int y = 43;
        while (y < 363 && Pixel(x, y) == 0) ++y;
        return y;
    }
    Texts TextsAt(int x, int y) {
        Texts found;
        for (const auto& call : screen.TextCalls())
            if (call.x == x && call.y == y) found.push_back(call.text);
        return found;
    }
    void Clear() { screen.ClearTextCalls(), log.Clear(); }

    MemoryBackScreen screen;
    std::optional<FrequencyGraph> graph;
    test::InvalidationLog log;
};

TEST_F(FrequencyGraphTest, BarsTakeTheirRowsAndColoursAndTheStripNamesEachOctave) {
    // Band 47 is just below C1 (octave 1's neighbour); above band 476 there is no note.
    for (auto [band, colour] : {std::pair{0, Rgb(192, 192, 255)}, {1, Rgb(32, 32, 255)}, {2, Rgb(0, 0, 128)},
                                {48, Rgb(255, 255, 255)}, {50, Rgb(0, 128, 0)}, {47, Rgb(32, 255, 32)},
                                {95, Rgb(32, 32, 255)}, {479, Rgb(0, 128, 0)}, {477, Rgb(32, 255, 32)}})
        EXPECT_EQ(graph->BarColour(band), colour) << band;
    NotePeaks& n = graph->Notes();
    test::SetNotePeak(n, 10, 18.35f, -30.0f, "C#0/Db");
    test::SetNotePeak(n, 440, 12345.678f, -40.0f, "C9");
    test::SetNotePeak(n, 228, 440.0068f, -20.0f, "A4");
    // Full height, below the plot (no bar), 43 + trunc(81.2), one pixel, above full scale.
    const std::pair<int, float> levels[] = {{0, -0.000001f}, {1, -85.0f}, {2, -20.3f}, {3, -79.99f}, {476, 3.0f}};
    for (auto [band, db] : levels) n.bandLevel[band] = db;
    Clear();
    graph->DrawGraph();
    for (auto [band, top] : {std::pair{0, 43}, {1, 363}, {2, 124}, {3, 362}, {476, 43}, {228, 123}, {229, 363}})
        EXPECT_EQ(ColumnTop(80 + band), top) << band;
    for (int y = 123; y <= 362; ++y) ASSERT_EQ(Pixel(308, y), Rgb(192, 192, 255)) << y;
    EXPECT_EQ(ColumnTop(557) + ColumnTop(558) + ColumnTop(559), 3 * 363);  // bands 477 to 479
    // The peak frequency under each name, cut to 6 characters.
    for (auto [x, y, text] : {std::tuple{272, 365, "A4"}, {272, 365 + kL, "440.00"}, {80, 365 + kL, "18.350"},
                              {80 + 48 * 9, 365 + kL, "12345."}})
        EXPECT_EQ(TextsAt(x, y), Texts{text});
    EXPECT_EQ(screen.TextCalls().size(), 6u);
    for (const auto& call : screen.TextCalls())
        EXPECT_EQ(call.style.background, call.x == 80 + 48 * 9 ? Rgb(192, 255, 192) : Rgb(192, 192, 255));
    EXPECT_EQ(log.rects, (std::vector<Rect>{{80, 43, 128, 363}, {272, 123, 320, 363}, {512, 43, 557, 363}, {79, 365, 561, 402}}));
    EXPECT_EQ(log.updates, 1);

    // A shrinking bar paints exactly the rows it left; without a note peak the strip stays.
    const auto before = screen.Snapshot();
    n = test::NoNotes();
    for (auto [band, db] : levels) n.bandLevel[band] = db;
    n.bandLevel[10] = -30.0f, n.bandLevel[440] = -40.0f, n.bandLevel[228] = -21.0f;
    Clear();
    graph->DrawGraph();
    EXPECT_TRUE(screen.TextCalls().empty());
    EXPECT_EQ(test::ChangedPixels(before, screen.Snapshot()), (std::vector<std::pair<int, int>>{{308, 123}, {308, 124}, {308, 125}, {308, 126}}));
}

TEST_F(FrequencyGraphTest, ResetClearsEverythingAndTheNextDrawPaintsWholeBars) {
    test::SetNotePeak(graph->Notes(), 228, 440.0f, -20.0f, "A4");
    graph->DrawGraph();
    graph->UpdateMetersAndReadouts(true, 60.0, 440.0f, -20.0f);
    graph->UpdateTimeAndSize(5, 0);
    Clear();
    graph->ResetGraph();
    EXPECT_EQ(ColumnTop(308), 363);
    for (auto [x, y, text] : {std::tuple{575, 435, "0.0"}, {575, 436 + kL, "0"}, {158, 436 + kL, "0 secs"}})
        EXPECT_EQ(TextsAt(x, y), Texts{text});
    EXPECT_EQ(graph->VuMeter().BarTop(), 388);
    graph->DrawGraph();
    EXPECT_EQ(ColumnTop(308), 123);
}

TEST_F(FrequencyGraphTest, ReadoutsShowSmoothedPeakAndFrequencyAndTheLevelOnlyWhenAsked) {
    const auto before = screen.Snapshot();
    const Rect box = graph->Boxes().levelBox;
    graph->UpdateMetersAndReadouts(false, 50.0, 440.0f, -30.0f);
    for (const auto& [x, y] : test::ChangedPixels(before, screen.Snapshot()))
        ASSERT_FALSE(x >= box.left && x < box.right && y >= box.top && y < box.bottom) << x << "," << y;
    graph->ResetGraph();
    Clear();
    graph->UpdateMetersAndReadouts(true, 0.0, 9999.96f, -20.05f);
    // The meter's first update is unsmoothed (76.28); the text smooths again with its memory
    // (0): 76.28 / 3 = 25.43, shown as dBFS.
    for (auto [x, y, text] : {std::tuple{575, 435, "-70.9"}, {575, 436 + kL, "9999.9"}, {65, 435, "VU dB   -96.3"}})
        EXPECT_EQ(TextsAt(x, y), Texts{text});
    const std::vector<Rect> expected{graph->Boxes().levelFrame, graph->Boxes().peakHzValue, Rect{64, 43, 79, 431},
                                     Rect{561, 43, 576, 431}, graph->Boxes().peakDbValue};
    EXPECT_EQ(log.rects, expected);
    EXPECT_EQ(log.updates, 1);
    screen.ClearTextCalls();
    graph->UpdateMetersAndReadouts(true, 0.0, 10000.4f, -20.05f);
    EXPECT_EQ(TextsAt(575, 436 + kL), Texts{"10000"});
    EXPECT_EQ(TextsAt(575, 435), Texts{"-20.0"});  // a steady peak: both settle at once
    graph->SetThresholdMarker(30.0);  // on the peak meter only
    for (int i = 0; i < 2; ++i) graph->UpdateMetersAndReadouts(false, 0.0, 0.0f, kFloorDb);
    const int row = 43 + static_cast<int>(30.0 * LevelMeter::kPixelsPerDb);
    EXPECT_EQ(std::pair(Pixel(565, row), Pixel(68, row)), std::pair(kWhite, 0u));
}

TEST_F(FrequencyGraphTest, TimeAndSizeDrawOnlyWhatChanged) {
    const Rect time = graph->Boxes().timeFrame, size = graph->Boxes().levelFrame;
    const struct {
        int seconds, kb;
        Texts timeText, sizeText;
        std::vector<Rect> rects;
    } steps[] = {{0, 0, {}, {}, {}},  // right after a reset: "0 secs" stays
                 {1, 0, {"00:00:01"}, {}, {time}},
                 {1, 1023, {}, {"1023 kb"}, {size}},
                 {1, 1024, {}, {"1.0 mb"}, {size}},
                 {3725, 5119, {"01:02:05"}, {"4.9 mb"}, {time, size}},
                 {3725, 5119, {}, {}, {}},
                 {360000, 1536, {"00:00:00"}, {"1.5 mb"}, {time, size}}};
    for (const auto& step : steps) {
        Clear();
        graph->UpdateTimeAndSize(step.seconds, step.kb);
        EXPECT_EQ(TextsAt(158, 436 + kL), step.timeText) << step.seconds;
        EXPECT_EQ(TextsAt(158, 435), step.sizeText) << step.kb;
        EXPECT_EQ(screen.TextCalls().size(), step.timeText.size() + step.sizeText.size());
        EXPECT_EQ(log.rects, step.rects);
        EXPECT_EQ(log.updates, 0);
    }
}

}  // namespace
}  // namespace sonotrap
