#include "display/SpectrumDisplay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "display/TestBitmaps.h"
#include "support/WavBytes.h"

namespace sonotrap {
namespace {

class SpectrumDisplayTest : public ::testing::Test {
protected:
    SpectrumDisplayTest() {
        test::AddTestBitmaps(screen);
        screen.Create();
    }
    MemoryBackScreen screen;
    SpectrumDisplay display{screen, nullptr};
};

TEST_F(SpectrumDisplayTest, NotReadyAndEmptyUntilCreated) {
    EXPECT_FALSE(display.IsReady());
    EXPECT_EQ(display.Graph(), nullptr);
    EXPECT_EQ(display.Analyzer(), nullptr);
    const std::vector<int16_t> window(16384, 1000);
    display.ShowBlock(window.data(), PeakReading{440.0f, -20.0f}, true);  // nothing to draw on yet
    PeakReading reading{16.0f, 16000.0f};
    display.AnalyzeBlock(window.data(), reading);  // reads as silence
    EXPECT_EQ(reading.hz, 0.0f);
    EXPECT_EQ(reading.db, kFloorDb);
    display.CreateSpectrumDisplay();
    EXPECT_TRUE(display.IsReady());
    FrequencyGraph* graph = display.Graph();
    display.CreateSpectrumDisplay();
    EXPECT_EQ(display.Graph(), graph);  // an existing graph is kept
}

TEST_F(SpectrumDisplayTest, A440SineShowsItsBarNoteAndLevelsAndSilenceNone) {
    display.CreateSpectrumDisplay();
    const auto samples = test::Sine(440.0, 32000, 16384, 0.1);
    PeakReading reading{16.0f, 16000.0f};
    display.AnalyzeBlock(samples.data(), reading);
    EXPECT_NEAR(reading.hz, 440.0, 0.05);
    EXPECT_NEAR(reading.db, -21.6, 0.1);
    screen.ClearTextCalls();
    display.ShowBlock(samples.data() + 13824, reading, true);

    FrequencyGraph& graph = *display.Graph();
    const int top = graph.BarTop(228);
    EXPECT_GE(top, 128);
    EXPECT_LE(top, 130);
    EXPECT_EQ(screen.Lock().Pixel(308, top), Rgb(192, 192, 255));
    EXPECT_EQ(screen.Lock().Pixel(308, top - 1), 0u);
    const auto& calls = screen.TextCalls();
    EXPECT_TRUE(std::any_of(calls.begin(), calls.end(), [](const auto& c) { return c.x == 272 && c.y == 365 && c.text == "A4"; }));
    // The left meter reads the block's largest sample, 3277: about 76.3 dB above the floor.
    EXPECT_NEAR(graph.VuMeter().LastValue(), 76.33, 0.01);
    EXPECT_NEAR(graph.PeakMeter().LastValue(), 96.33 - 21.6, 0.1);

    // Silence takes the bars down and leaves the note strip as it was.
    const std::vector<int16_t> zeros(16384, 0);
    reading = PeakReading{0.0f, 0.0f};
    display.AnalyzeBlock(zeros.data(), reading);
    EXPECT_EQ(reading.hz, 0.0f);
    screen.ClearTextCalls();
    display.ShowBlock(zeros.data(), reading, true);
    for (int b = 0; b < 477; ++b) ASSERT_EQ(graph.BarTop(b), 363) << b;
    for (const auto& call : screen.TextCalls()) EXPECT_NE(call.y, 365);
}

}  // namespace
}  // namespace sonotrap
