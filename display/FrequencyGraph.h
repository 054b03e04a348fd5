#pragma once
#include <cstdint>
#include <mutex>
#include <initializer_list>

#include "display/LevelMeter.h"
#include "display/NoteTables.h"
#include "display/PeakSearch.h"
#include "platform/BackScreen.h"

namespace sonotrap {

// The main picture: one one-pixel bar per quarter-semitone band from C0 (column 80 + band,
// 4 pixels per dB from 0 dBFS at row 43 down to -80 dBFS at row 363), coloured by octave and
// closeness to a note; the note strip naming each octave's loudest note; the octave ruler; and
// around them the two level meters and four readout boxes. Bars are repainted only where their
// top moved. Drawing operations may be called from the analysing thread and the main thread;
// they are serialised by the graph.
class FrequencyGraph {
public:
    static constexpr int kPlotTop = 43;
    static constexpr int kPlotBottom = 363;
    static constexpr int kPlotLeft = 80;

    // CreateFrequencyGraph: lays out and draws the panel, strip, ruler, meters and boxes.
    explicit FrequencyGraph(BackScreen& screen);
    FrequencyGraph(const FrequencyGraph&) = delete;
    FrequencyGraph& operator=(const FrequencyGraph&) = delete;

    // Filled by the analyser for each block, drawn by DrawGraph.
    NotePeaks& Notes() { return notes_; }

    // Bars of the current note peaks and, when there is a note peak, the note strip.
    void DrawGraph();
    // Empty graph and strip, meters and readouts back to their start.
    void ResetGraph();

    // The meters and the "Peak dB", "Peak f:" and (showVuText) "VU dB" readouts for one block:
    // vuLevel in dB above the 16-bit floor, the peak in Hz and dBFS.
    void UpdateMetersAndReadouts(bool showVuText, double vuLevel, float peakHz, float peakDb);
    // The elapsed time and, when kilobytes changed, the recorded size; draws only what changed.
    void UpdateTimeAndSize(int32_t seconds, int32_t kilobytes);

    // The trigger threshold line on the peak meter (dB below full scale); from any thread.
    void SetThresholdMarker(double db) { peakMeter_.SetThreshold(db); }
    void ShowThresholdMarker(bool show) { peakMeter_.SetShowThreshold(show); }
    // Rows the peak-hold markers of both meters sink per update.
    void SetMarkerFall(int16_t rows);

    const Rect& PeakMeterRect() const { return peakMeter_.Area(); }
    LevelMeter& VuMeter() { return vuMeter_; }
    LevelMeter& PeakMeter() { return peakMeter_; }
    int LineHeight() const { return lineHeight_; }
    uint32_t TextBackground() const { return textBackground_; }
    uint32_t BarColour(int band) const { return barColour_[band]; }
    int16_t BarTop(int band) const { return barTop_[band]; }

    // Where things are, for a font of this line height.
    struct Layout {
        explicit Layout(int lineHeight);
        Rect levelBox, levelFrame, timeBox, timeFrame;
        Rect peakDbBox, peakDbFrame, peakDbValue;
        Rect peakHzBox, peakHzFrame, peakHzValue;
    };
    const Layout& Boxes() const { return layout_; }

private:
    static bool DrawMeterFrames(BackScreen& screen);
    void BuildBarColours();
    void DrawBoxes();
    int DrawBars(BackScreen::Canvas& canvas, Rect* changed);
    void DrawNoteStrip(BackScreen::Canvas& canvas);
    void InvalidateAll(std::initializer_list<Rect> rects);
    void InvalidateAll(const Rect* rects, int count);

    BackScreen& screen_;
    std::mutex drawMutex_;
    NotePeaks notes_{};
    double vuTextMemory_ = 0.0;
    double peakTextMemory_ = 0.0;
    int lineHeight_;
    Layout layout_;
    bool meterFramesDrawn_;  // the frames go under the meters, so they are drawn first
    LevelMeter vuMeter_;
    LevelMeter peakMeter_;
    uint32_t textBackground_ = 0;
    int32_t shownSeconds_ = 0;
    int32_t shownKilobytes_ = 0;
    uint32_t barColour_[kBandTableSize];
    int16_t barTop_[kBandTableSize];
};

}  // namespace sonotrap
