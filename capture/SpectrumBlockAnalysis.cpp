#include "capture/SpectrumBlockAnalysis.h"

namespace sonotrap {

void SpectrumBlockAnalysis::AnalyzeBlock(const int16_t* window16384, float* peakHz, float* peakDb) {
    PeakReading reading = PeakReading::Band(*peakHz, *peakDb);
    analyzer_.AnalyzeBlock(window16384, reading, notes_);
    *peakHz = reading.hz;
    *peakDb = reading.db;
}

}  // namespace sonotrap
