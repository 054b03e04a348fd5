#pragma once
#include <cstdint>

namespace sonotrap {

// What the capture processing shows while it runs: the meters, readouts and graph for each
// analysed block, the RECORDING banner and the recording's time and size. The shell hands in
// one bound to its display; batch work and tests pass none.
class CaptureView {
public:
    virtual ~CaptureView() = default;
    // The block level of currentBlock (2304 samples), UpdateMetersAndReadouts and DrawGraph for
    // one analysed block, when the display is ready.
    virtual void ShowBlock(bool showVuText, const int16_t* currentBlock, float peakHz, float peakDb) = 0;
    // Does nothing when the banner is already in that state.
    virtual void ShowRecordingBanner(bool on) = 0;
    virtual void UpdateTimeAndSize(int32_t seconds, int32_t kilobytes) = 0;
};

// The spectral analysis the trigger needs: the peak frequency (Hz) and level (dBFS) inside a
// band of a 16384-sample window. On entry peakHz/peakDb hold the band's low and high edge in
// Hz; on return the peak found (AnalyzeBlock's PeakReading convention).
class BlockAnalysis {
public:
    virtual ~BlockAnalysis() = default;
    virtual void AnalyzeBlock(const int16_t* window16384, float* peakHz, float* peakDb) = 0;
};

}  // namespace sonotrap
