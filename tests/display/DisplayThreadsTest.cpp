#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "display/FrequencyGraph.h"
#include "display/ModeStrip.h"
#include "display/StaticScreen.h"
#include "display/TestBitmaps.h"

namespace sonotrap {
namespace {

// The analysing thread draws blocks while the main thread resets the graph, moves the
// threshold and changes the strip, and a paint handler copies the screen: nothing may tear or
// race (run under ThreadSanitizer).
TEST(DisplayThreadsTest, AnalysingMainAndPaintThreadsShareTheScreen) {
    MemoryBackScreen screen;
    test::AddTestBitmaps(screen);
    screen.Create();
    std::atomic<int32_t> modeIndex{0};
    DrawStaticScreen(screen, modeIndex);
    ModeStrip strip(screen);
    FrequencyGraph graph(screen);
    std::atomic<int> invalidations{0};
    screen.SetInvalidationSink({[&](const Rect&) { ++invalidations; }, [] {}});
    std::atomic<bool> stop{false};

    std::thread analysing([&] {
        for (int i = 0; i < 300; ++i) {
            NotePeaks& notes = graph.Notes();
            for (int b = 0; b < kBandCount; ++b) notes.bandLevel[b] = static_cast<float>(-((b + i) % 90));
            notes.octaveNote[4] = "A4";
            notes.octavePeakHz[4] = 440.0f;
            notes.peakHz = 440.0f;
            notes.peakDb = -10.0f;
            notes.peakOctave = 4;
            graph.UpdateMetersAndReadouts(i % 2 == 0, (i % 97) * 1.0, 440.0f, -static_cast<float>(i % 96));
            graph.DrawGraph();
            graph.UpdateTimeAndSize(i / 10, i);
            strip.ShowRecordingBanner(i % 20 < 10);
        }
        stop = true;
    });
    std::thread painting([&] {
        while (!stop) {
            const PixelImage shot = screen.Snapshot();
            EXPECT_EQ(shot.width, 640);
        }
    });
    int round = 0;
    while (!stop) {
        graph.SetThresholdMarker(round % 97);
        graph.ShowThresholdMarker(round % 3 != 0);
        graph.SetMarkerFall(static_cast<int16_t>(1 + round % 2));
        if (round % 25 == 0) graph.ResetGraph();
        strip.SelectModeButton(modeIndex, round % 3);
        ++round;
        std::this_thread::yield();
    }
    analysing.join();
    painting.join();
    EXPECT_GT(invalidations.load(), 300);
    for (int b = 0; b < kBandCount; ++b) {
        const int top = graph.BarTop(b);
        EXPECT_TRUE(top >= 43 && top <= 363);
    }
}

}  // namespace
}  // namespace sonotrap
