#pragma once
#include "capture/CaptureView.h"

namespace sonotrap {

class SpectrumDisplay;

// The capture side's analysis and drawing bound to the program's SpectrumDisplay: the band
// analysis feeds the graph's note peaks, blocks reach the meters and graph only once the
// display is ready, the banner goes to the mode strip and the time and size to the readouts.
class DisplayCaptureView : public CaptureView, public BlockAnalysis {
public:
    explicit DisplayCaptureView(SpectrumDisplay& display) : display_(display) {}

    void AnalyzeBlock(const int16_t* window16384, float* peakHz, float* peakDb) override;
    void ShowBlock(bool showVuText, const int16_t* currentBlock, float peakHz, float peakDb) override;
    void ShowRecordingBanner(bool on) override;
    void UpdateTimeAndSize(int32_t seconds, int32_t kilobytes) override;

private:
    SpectrumDisplay& display_;
};

}  // namespace sonotrap
