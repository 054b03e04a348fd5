#include "display/SpectrumDisplay.h"

#include "display/BlockLevel.h"
#include "display/LevelScale.h"

namespace sonotrap {

SpectrumDisplay::SpectrumDisplay(BackScreen& screen, ModeStrip* modeStrip)
    : screen_(screen), modeStrip_(modeStrip) {}

void SpectrumDisplay::CreateSpectrumDisplay() {
    if (!analyzer_) analyzer_ = std::make_unique<SpectrumAnalyzer>();
    if (!graph_) graph_ = std::make_unique<FrequencyGraph>(screen_);
    ready_ = true;
}

void SpectrumDisplay::AnalyzeBlock(const int16_t* samples, PeakReading& reading) {
    if (!analyzer_ || !graph_) {
        reading = PeakReading{0.0f, kFloorDb};  // nothing to analyse with yet: silence
        return;
    }
    analyzer_->AnalyzeBlock(samples, reading, graph_->Notes());
}

void SpectrumDisplay::ShowBlock(const int16_t* levelBlock, const PeakReading& reading, bool showVuText) {
    if (!graph_) return;
    const double level = BlockLevelDb(FindSampleExtremes(levelBlock, kCaptureBlockSamples));
    if (ready_) graph_->UpdateMetersAndReadouts(showVuText, level, reading.hz, reading.db);
    graph_->DrawGraph();
}

}  // namespace sonotrap
