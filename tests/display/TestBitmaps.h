#pragma once
#include <algorithm>

#include "display/LevelScale.h"
#include "display/PeakSearch.h"
#include "display/ScreenLayout.h"
#include "adapters/virtual/MemoryBackScreen.h"

namespace sonotrap::test {

inline PixelImage SolidImage(int width, int height, uint32_t colour) {
    return PixelImage{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, colour)};
}

inline void SetPixelOf(PixelImage& image, int x, int y, uint32_t colour) {
    image.pixels[static_cast<size_t>(y) * image.width + x] = colour;
}

// Bitmaps with the documented sizes and colours; the pictures without text are plain fills,
// each in a colour of its own so a test can tell which one was copied where.
inline void AddTestBitmaps(MemoryBackScreen& screen) {
    PixelImage panel = SolidImage(482, 322, kBlack);
    for (int x = 0; x < 482; ++x) SetPixelOf(panel, x, 0, kWhite), SetPixelOf(panel, x, 321, kWhite);
    for (int y = 0; y < 322; ++y) SetPixelOf(panel, 0, y, kWhite), SetPixelOf(panel, 481, y, kWhite);
    screen.SetBitmap(kPanelBitmap, panel);

    PixelImage strip = SolidImage(482, 37, kWhite);
    for (int y = 1; y < 36; ++y) {
        for (int x = 1; x < 481; ++x) SetPixelOf(strip, x, y, ((x - 1) / 48) % 2 ? Rgb(192, 255, 192) : Rgb(192, 192, 255));
    }
    screen.SetBitmap(kNoteStripBitmap, strip);
    screen.SetBitmap(kRulerBitmap, SolidImage(482, 29, Rgb(1, 2, 3)));

    PixelImage scale = SolidImage(15, 388, Rgb(115, 185, 185));
    for (int y = 0; y < 26; ++y) {
        for (int x = 0; x < 15; ++x) SetPixelOf(scale, x, y, y < 13 ? Rgb(215, 85, 85) : Rgb(209, 213, 87));
    }
    screen.SetBitmap(kMeterScaleBitmap, scale);

    screen.SetBitmap(kStartBitmap, SolidImage(38, 27, Rgb(10, 0, 1)));
    screen.SetBitmap(kStopBitmap, SolidImage(38, 27, Rgb(10, 0, 2)));
    screen.SetBitmap(kRunningStripBitmap, SolidImage(235, 27, Rgb(10, 0, 3)));
    screen.SetBitmap(kIdleStripBitmap, SolidImage(235, 27, Rgb(10, 0, 4)));
    screen.SetBitmap(kEmptyMarkerBitmap, SolidImage(12, 12, Rgb(10, 0, 5)));
    screen.SetBitmap(kSelectedMarkerBitmap, SolidImage(12, 12, Rgb(10, 0, 6)));
    screen.SetBitmap(kNoMarkerBitmap, SolidImage(12, 12, Rgb(10, 0, 7)));
    screen.SetBitmap(kRecordingBannerBitmap, SolidImage(235, 27, Rgb(10, 0, 8)));
    screen.SetBitmap(kTitleBitmap, SolidImage(400, 24, Rgb(10, 0, 9)));
}

// Note peaks with nothing found.
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

// Records invalidations and updates.
struct InvalidationLog {
    std::vector<Rect> rects;
    int updates = 0;
    void Attach(BackScreen& screen) {
        screen.SetInvalidationSink({[this](const Rect& r) { rects.push_back(r); }, [this] { ++updates; }});
    }
    void Clear() { rects.clear(), updates = 0; }
};

// Pixels that differ between two snapshots.
inline std::vector<std::pair<int, int>> ChangedPixels(const PixelImage& before, const PixelImage& after) {
    std::vector<std::pair<int, int>> changed;
    for (int y = 0; y < before.height; ++y) {
        for (int x = 0; x < before.width; ++x) {
            if (before.At(x, y) != after.At(x, y)) changed.emplace_back(x, y);
        }
    }
    return changed;
}

}  // namespace sonotrap::test
