#pragma once
#include "capture/CaptureView.h"
#include "display/PeakSearch.h"
#include "display/SpectrumAnalyzer.h"

namespace sonotrap {

// The trigger's band analysis on an analyser of its own, for runs that show nothing (scan).
class SpectrumBlockAnalysis : public BlockAnalysis {
public:
    void AnalyzeBlock(const int16_t* window16384, float* peakHz, float* peakDb) override;
    SpectrumAnalyzer& Analyzer() { return analyzer_; }

private:
    SpectrumAnalyzer analyzer_;
    NotePeaks notes_{};
};

}  // namespace sonotrap
