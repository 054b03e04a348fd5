#include "capture/DisplayCaptureView.h"

#include "display/LevelScale.h"
#include "display/SpectrumDisplay.h"

namespace sonotrap {

void DisplayCaptureView::AnalyzeBlock(const int16_t* window16384, float* peakHz, float* peakDb) {
    if (!display_.Analyzer()) {
        // No analyser yet: the block reads as silence and cannot trigger.
        *peakHz = 0.0f;
        *peakDb = kFloorDb;
        return;
    }
    PeakReading reading = PeakReading::Band(*peakHz, *peakDb);
    display_.AnalyzeBlock(window16384, reading);
    *peakHz = reading.hz;
    *peakDb = reading.db;
}

void DisplayCaptureView::ShowBlock(bool showVuText, const int16_t* currentBlock, float peakHz, float peakDb) {
    if (!display_.IsReady() || !display_.Graph()) return;
    display_.ShowBlock(currentBlock, PeakReading{peakHz, peakDb}, showVuText);
}

void DisplayCaptureView::ShowRecordingBanner(bool on) {
    if (display_.Strip()) display_.Strip()->ShowRecordingBanner(on);
}

void DisplayCaptureView::UpdateTimeAndSize(int32_t seconds, int32_t kilobytes) {
    if (display_.Graph()) display_.Graph()->UpdateTimeAndSize(seconds, kilobytes);
}

}  // namespace sonotrap
