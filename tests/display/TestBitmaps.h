#pragma once
#include <algorithm>
#include <tuple>

#include "adapters/virtual/MemoryBackScreen.h"
#include "display/LevelScale.h"
#include "display/PeakSearch.h"
#include "display/ScreenLayout.h"

namespace sonotrap::test {

// Bitmaps with the documented sizes and colours; the pictures without text are plain fills,
// each in a colour of its own so a test can tell which one was copied where.
inline void AddTestBitmaps(MemoryBackScreen& screen) {
    const auto image = [](int width, int height, auto colourAt) {
        PixelImage image{width, height, {}};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) image.pixels.push_back(colourAt(x, y));
        return image;
    };
    const auto solid = [&](int width, int height, uint32_t colour) {
        return image(width, height, [=](int, int) { return colour; });
    };
    screen.SetBitmap(kPanelBitmap, image(482, 322, [](int x, int y) {
        return x == 0 || x == 481 || y == 0 || y == 321 ? kWhite : kBlack;
    }));
    screen.SetBitmap(kNoteStripBitmap, image(482, 37, [](int x, int y) {
        if (x == 0 || x == 481 || y == 0 || y == 36) return kWhite;
        return ((x - 1) / 48) % 2 ? Rgb(192, 255, 192) : Rgb(192, 192, 255);
    }));
    screen.SetBitmap(kRulerBitmap, solid(482, 29, Rgb(1, 2, 3)));
    screen.SetBitmap(kMeterScaleBitmap, image(15, 388, [](int, int y) {
        return y < 13 ? Rgb(215, 85, 85) : y < 26 ? Rgb(209, 213, 87) : Rgb(115, 185, 185);
    }));
    const std::tuple<int, int, int> plain[] = {{kStartBitmap, 38, 27},         {kStopBitmap, 38, 27},
                                               {kRunningStripBitmap, 235, 27}, {kIdleStripBitmap, 235, 27},
                                               {kEmptyMarkerBitmap, 12, 12},   {kSelectedMarkerBitmap, 12, 12},
                                               {kNoMarkerBitmap, 12, 12},      {kRecordingBannerBitmap, 235, 27},
                                               {kTitleBitmap, 400, 24}};
    uint8_t shade = 1;
    for (auto [id, width, height] : plain) screen.SetBitmap(id, solid(width, height, Rgb(10, 0, shade++)));
}

inline NotePeaks NoNotes() {
    NotePeaks n{};
    n.peakDb = kFloorDb;
    n.peakOctave = -1;
    return n;
}

// Makes one band's peak the loudest of its octave and of the block.
inline void SetNotePeak(NotePeaks& n, int band, float hz, float db, const char* note) {
    const int octave = std::min(band / 48, 9);
    n.bandLevel[band] = n.octavePeakDb[octave] = n.peakDb = db;
    n.octavePeakHz[octave] = n.peakHz = hz;
    n.octaveNote[octave] = note;
    n.peakOctave = octave;
}

struct InvalidationLog {
    std::vector<Rect> rects;
    int updates = 0;
    void Attach(BackScreen& screen) {
        screen.SetInvalidationSink({[this](const Rect& r) { rects.push_back(r); }, [this] { ++updates; }});
    }
    void Clear() { rects.clear(), updates = 0; }
};

inline std::vector<std::pair<int, int>> ChangedPixels(const PixelImage& before, const PixelImage& after) {
    std::vector<std::pair<int, int>> changed;
    for (int y = 0; y < before.height; ++y)
        for (int x = 0; x < before.width; ++x)
            if (before.At(x, y) != after.At(x, y)) changed.emplace_back(x, y);
    return changed;
}

}  // namespace sonotrap::test
