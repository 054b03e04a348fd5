#include "display/FrequencyGraph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "display/LevelScale.h"
#include "display/TestBitmaps.h"

namespace sonotrap {
namespace {

using test::AddTestBitmaps;
using test::ChangedPixels;
using test::InvalidationLog;

constexpr int kBandA4 = 228;
constexpr int kFontHeight = 12;
constexpr int kL = kFontHeight + 2;

class FrequencyGraphTest : public ::testing::Test {
protected:
    FrequencyGraphTest() : screen(kFontHeight) {
        AddTestBitmaps(screen);
        screen.Create();
        graph.emplace(screen);
        log.Attach(screen);
        graph->Notes() = test::NoNotes();
    }
    void SetPeak(int band, float hz, float db, const char* note) { test::SetNotePeak(graph->Notes(), band, hz, db, note); }
    uint32_t Pixel(int x, int y) { return screen.Lock().Pixel(x, y); }
    // The first row of column x in the plot that is not black, or 363.
    int ColumnTop(int x) {
        for (int y = 43; y < 363; ++y) {
            if (Pixel(x, y) != 0) return y;
        }
        return 363;
    }
    std::vector<std::string> TextsAt(int x, int y) {
        std::vector<std::string> found;
        for (const auto& call : screen.TextCalls()) {
            if (call.x == x && call.y == y) found.push_back(call.text);
        }
        return found;
    }
    void Clear() { screen.ClearTextCalls(), log.Clear(); }

    MemoryBackScreen screen;
    std::optional<FrequencyGraph> graph;
    InvalidationLog log;
};

using Texts = std::vector<std::string>;

TEST_F(FrequencyGraphTest, BarColoursFollowOctaveAndNoteDistance) {
    // Notes, their neighbours and the bands midway; band 47 is just below C1 (octave 1's
    // neighbour); above band 476 there is no note: octave 9 midway.
    for (auto [band, colour] : {std::pair{0, Rgb(192, 192, 255)}, {1, Rgb(32, 32, 255)}, {2, Rgb(0, 0, 128)},
                                {48, Rgb(255, 255, 255)}, {50, Rgb(0, 128, 0)}, {47, Rgb(32, 255, 32)},
                                {95, Rgb(32, 32, 255)}, {kBandA4, Rgb(192, 192, 255)}, {479, Rgb(0, 128, 0)},
                                {478, Rgb(0, 128, 0)}, {477, Rgb(32, 255, 32)}})
        EXPECT_EQ(graph->BarColour(band), colour) << band;
}

TEST_F(FrequencyGraphTest, A4AtMinus20LightsColumn308AndNamesTheNote) {
    SetPeak(kBandA4, 440.0068f, -20.0f, "A4");
    Clear();
    graph->DrawGraph();
    EXPECT_EQ(Pixel(308, 122), 0u);
    for (int y = 123; y <= 362; ++y) ASSERT_EQ(Pixel(308, y), Rgb(192, 192, 255)) << y;
    EXPECT_EQ(Pixel(308, 363), kWhite);  // panel border below the plot
    EXPECT_EQ(ColumnTop(307), 363);
    EXPECT_EQ(ColumnTop(309), 363);
    EXPECT_EQ(graph->BarTop(kBandA4), 123);
    const int field = 80 + 48 * 4;
    EXPECT_EQ(TextsAt(field, 365), Texts{"A4"});
    EXPECT_EQ(TextsAt(field, 365 + kL), Texts{"440.00"});
    for (const auto& call : screen.TextCalls()) EXPECT_EQ(call.style.background, Rgb(192, 192, 255));
    EXPECT_EQ(screen.TextCalls().size(), 2u);
    EXPECT_EQ(log.rects, std::vector<Rect>{(Rect{79, 42, 561, 402})});
    EXPECT_EQ(log.updates, 1);
}

TEST_F(FrequencyGraphTest, NoteStripFieldsUseTheirOctavesDecimalsAndColour) {
    SetPeak(10, 18.35f, -30.0f, nullptr);
    graph->Notes().octaveNote[0] = "C#0/Db";
    SetPeak(440, 4186.01f, -40.0f, "C9");
    graph->Notes().octaveNote[9] = "C9";
    graph->Notes().octavePeakHz[9] = 12345.678f;
    graph->Notes().peakOctave = 9;
    screen.ClearTextCalls();
    graph->DrawGraph();
    EXPECT_EQ(TextsAt(80, 365 + kL), Texts{"18.350"});
    EXPECT_EQ(TextsAt(80 + 48 * 9, 365), Texts{"C9"});
    EXPECT_EQ(TextsAt(80 + 48 * 9, 365 + kL), Texts{"12345."});  // cut to 6 characters
    for (const auto& call : screen.TextCalls()) {
        EXPECT_EQ(call.style.background, call.x == 80 ? Rgb(192, 192, 255) : Rgb(192, 255, 192));
        EXPECT_EQ(call.style.colour, 0u);
    }
}

TEST_F(FrequencyGraphTest, WithoutANotePeakTheStripKeepsWhatItShowed) {
    SetPeak(kBandA4, 440.0f, -20.0f, "A4");
    graph->DrawGraph();
    const auto before = screen.Snapshot();
    graph->Notes() = test::NoNotes();
    graph->Notes().bandLevel[kBandA4] = -20.0f;
    screen.ClearTextCalls();
    graph->DrawGraph();
    EXPECT_TRUE(screen.TextCalls().empty());
    EXPECT_TRUE(ChangedPixels(before, screen.Snapshot()).empty());
}

TEST_F(FrequencyGraphTest, ShrinkingBarPaintsExactlyTheRowsItLeft) {
    graph->Notes().bandLevel[100] = (43 - 100) / 4.0f;  // top at row 100
    graph->DrawGraph();
    EXPECT_EQ(ColumnTop(180), 100);
    const auto before = screen.Snapshot();
    graph->Notes().bandLevel[100] = (43 - 200) / 4.0f;  // top at row 200
    graph->DrawGraph();
    const auto changed = ChangedPixels(before, screen.Snapshot());
    ASSERT_EQ(changed.size(), 100u);
    for (size_t i = 0; i < changed.size(); ++i) {
        EXPECT_EQ(changed[i], std::make_pair(180, 100 + static_cast<int>(i)));
        EXPECT_EQ(Pixel(180, 100 + static_cast<int>(i)), 0u);
    }
    EXPECT_EQ(graph->BarTop(100), 200);
}

TEST_F(FrequencyGraphTest, LevelsMapToRowsWithTruncationAndClamping) {
    // Full height, below the plot (no bar), 43 + trunc(81.2), one pixel, above full scale.
    const std::pair<float, int> levels[] = {{-0.000001f, 43}, {-85.0f, 363}, {-20.3f, 124}, {-79.99f, 362}, {3.0f, 43}};
    for (int b = 0; b < 5; ++b) graph->Notes().bandLevel[b] = levels[b].first;
    graph->DrawGraph();
    for (int b = 0; b < 5; ++b) {
        EXPECT_EQ(graph->BarTop(b), levels[b].second) << b;
        EXPECT_EQ(ColumnTop(80 + b), levels[b].second) << b;
    }
    EXPECT_EQ(Pixel(83, 362), graph->BarColour(3));
}

TEST_F(FrequencyGraphTest, BandsAbove476AreNeverDrawn) {
    NotePeaks& n = graph->Notes();
    std::fill(std::begin(n.bandLevel), std::end(n.bandLevel), -0.1f);
    graph->DrawGraph();
    EXPECT_EQ(ColumnTop(80 + 476), 43);
    for (int x = 557; x < 560; ++x) EXPECT_EQ(ColumnTop(x), 363) << x;
    EXPECT_EQ(Pixel(127, 200), Rgb(32, 255, 32));  // band 47
}

TEST_F(FrequencyGraphTest, ResetClearsEverythingAndTheNextDrawPaintsWholeBars) {
    SetPeak(kBandA4, 440.0f, -20.0f, "A4");
    graph->DrawGraph();
    graph->UpdateMetersAndReadouts(true, 60.0, 440.0f, -20.0f);
    graph->UpdateTimeAndSize(5, 0);
    Clear();
    graph->ResetGraph();
    EXPECT_EQ(ColumnTop(308), 363);
    for (int b = 0; b < 480; ++b) ASSERT_EQ(graph->BarTop(b), 363);
    EXPECT_EQ(Pixel(80 + 48 * 4 + 2, 367), Rgb(192, 192, 255));
    EXPECT_EQ(TextsAt(575, 435), Texts{"0.0"});
    EXPECT_EQ(TextsAt(575, 436 + kL), Texts{"0"});
    EXPECT_EQ(TextsAt(158, 436 + kL), Texts{"0 secs"});
    EXPECT_EQ(Pixel(70, 50), Rgb(215, 85, 85));  // the vu meter shows its whole scale again
    EXPECT_EQ(graph->VuMeter().BarTop(), 388);
    EXPECT_EQ(log.updates, 1);
    EXPECT_EQ(log.rects.size(), 7u);
    // Same notes again: the bar is painted whole.
    graph->DrawGraph();
    EXPECT_EQ(ColumnTop(308), 123);
    // Time 0 right after a reset changes nothing, so "0 secs" stays.
    screen.ClearTextCalls();
    graph->UpdateTimeAndSize(0, 0);
    EXPECT_TRUE(screen.TextCalls().empty());
}

TEST_F(FrequencyGraphTest, ReadoutsShowSmoothedPeakAndFrequency) {
    Clear();
    graph->UpdateMetersAndReadouts(true, 0.0, 9999.96f, -20.05f);
    // The meter's first update is unsmoothed (76.28); the text smooths again with its memory
    // (0): 76.28 / 3 = 25.43, shown as dBFS.
    EXPECT_EQ(TextsAt(575, 435), Texts{"-70.9"});
    EXPECT_EQ(TextsAt(575, 436 + kL), Texts{"9999.9"});
    EXPECT_EQ(TextsAt(65, 435), Texts{"VU dB   -96.3"});
    const std::vector<Rect> expected{graph->Boxes().levelFrame, graph->Boxes().peakHzValue, Rect{64, 43, 79, 431},
                                     Rect{561, 43, 576, 431}, graph->Boxes().peakDbValue};
    EXPECT_EQ(log.rects, expected);
    EXPECT_EQ(log.updates, 1);

    screen.ClearTextCalls();
    graph->UpdateMetersAndReadouts(true, 0.0, 10000.4f, -20.05f);
    EXPECT_EQ(TextsAt(575, 436 + kL), Texts{"10000"});
    // A steady peak: meter and text both settle on it at once.
    EXPECT_EQ(TextsAt(575, 435), Texts{"-20.0"});
}

TEST_F(FrequencyGraphTest, WithoutVuTextTheLevelBoxIsLeftAlone) {
    graph->UpdateTimeAndSize(0, 512);
    const auto box = graph->Boxes().levelBox;
    Clear();
    const auto before = screen.Snapshot();
    graph->UpdateMetersAndReadouts(false, 50.0, 440.0f, -30.0f);
    const auto after = screen.Snapshot();
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) ASSERT_EQ(before.At(x, y), after.At(x, y));
    }
    EXPECT_TRUE(TextsAt(65, 435).empty());
    EXPECT_EQ(std::count(log.rects.begin(), log.rects.end(), graph->Boxes().levelFrame), 0);
}

TEST_F(FrequencyGraphTest, TimeAndSizeDrawOnlyWhatChanged) {
    const Rect time = graph->Boxes().timeFrame, size = graph->Boxes().levelFrame;
    const struct {
        int seconds, kb;
        Texts timeText, sizeText;
        std::vector<Rect> rects;
    } steps[] = {{1, 0, {"00:00:01"}, {}, {time}},
                 {1, 1023, {}, {"1023 kb"}, {size}},
                 {1, 1024, {}, {"1.0 mb"}, {size}},
                 {3725, 5119, {"01:02:05"}, {"4.9 mb"}, {time, size}},
                 {3725, 5119, {}, {}, {}},
                 {359999, 1536, {"99:59:59"}, {"1.5 mb"}, {time, size}},
                 {360000, 1536, {"00:00:00"}, {}, {time}}};
    for (const auto& step : steps) {
        Clear();
        graph->UpdateTimeAndSize(step.seconds, step.kb);
        EXPECT_EQ(TextsAt(158, 436 + kL), step.timeText) << step.seconds;
        EXPECT_EQ(TextsAt(158, 435), step.sizeText) << step.kb;
        EXPECT_EQ(screen.TextCalls().size(), step.timeText.size() + step.sizeText.size());
        EXPECT_EQ(log.rects.size(), step.rects.size());
        for (const Rect& r : step.rects) EXPECT_EQ(std::count(log.rects.begin(), log.rects.end(), r), 1);
        for (const auto& call : screen.TextCalls()) EXPECT_EQ(call.style.align, TextAlign::Right);
        EXPECT_EQ(log.updates, 0);
    }
}

TEST_F(FrequencyGraphTest, ThresholdMarkerSettingsReachThePeakMeter) {
    const int row = 43 + static_cast<int>(30.0 * LevelMeter::kPixelsPerDb);
    for (bool shown : {true, false}) {
        graph->ShowThresholdMarker(shown);
        graph->SetThresholdMarker(30.0);
        EXPECT_EQ(graph->PeakMeter().Threshold(), 30.0);
        graph->UpdateMetersAndReadouts(false, 0.0, 0.0f, kFloorDb);
        graph->UpdateMetersAndReadouts(false, 0.0, 0.0f, kFloorDb);
        EXPECT_EQ(Pixel(565, row) == kWhite, shown);
        EXPECT_NE(Pixel(68, row), kWhite);  // never on the vu meter
    }
}

}  // namespace
}  // namespace sonotrap
