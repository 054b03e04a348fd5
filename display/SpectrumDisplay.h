#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "display/FrequencyGraph.h"
#include "display/ModeStrip.h"
#include "display/SpectrumAnalyzer.h"
#include "platform/BackScreen.h"

namespace sonotrap {

// The one display object: the back screen it draws on, the mode strip, the analyser and the
// frequency graph, and the ready flag that lets blocks reach the meters. The start-up code
// constructs it with the screen and strip and completes it with CreateSpectrumDisplay.
class SpectrumDisplay {
public:
    SpectrumDisplay(BackScreen& screen, ModeStrip* modeStrip);
    SpectrumDisplay(const SpectrumDisplay&) = delete;
    SpectrumDisplay& operator=(const SpectrumDisplay&) = delete;

    // Creates the analyser and (unless there is one) the graph, then sets the ready flag.
    void CreateSpectrumDisplay();
    bool IsReady() const { return ready_.load(); }

    // Analyses 16384 samples into the graph's note peaks; reading carries the band in and the
    // peak out (see SpectrumAnalyzer). Before CreateSpectrumDisplay it reads as silence.
    void AnalyzeBlock(const int16_t* samples, PeakReading& reading);
    // One analysed block on the screen, as every analysing thread shows it: the level of
    // levelBlock (2304 samples) on the left meter, the reading on the right meter and in the
    // readouts (the "VU dB" line only with showVuText), then the graph.
    void ShowBlock(const int16_t* levelBlock, const PeakReading& reading, bool showVuText);

    BackScreen& Screen() { return screen_; }
    ModeStrip* Strip() { return modeStrip_; }
    // Null before CreateSpectrumDisplay.
    SpectrumAnalyzer* Analyzer() { return analyzer_.get(); }
    FrequencyGraph* Graph() { return graph_.get(); }

private:
    BackScreen& screen_;
    ModeStrip* modeStrip_;
    std::unique_ptr<SpectrumAnalyzer> analyzer_;
    std::unique_ptr<FrequencyGraph> graph_;
    std::atomic<bool> ready_{false};
};

}  // namespace sonotrap
