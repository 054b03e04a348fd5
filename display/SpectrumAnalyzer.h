#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "display/Fft.h"
#include "display/LevelScale.h"
#include "display/NoteTables.h"
#include "display/PeakSearch.h"

// The spectrum analyser: one block of 16384 samples at 32000 Hz becomes a magnitude spectrum
// of 8192 bins (Blackman window, optionally averaged over the last 1..16 blocks and
// normalised), the note peaks per quarter-semitone band, and a PeakReading for a band.
// Buffers are allocated at construction (the averaging history on first use); AnalyzeBlock
// allocates nothing. AnalyzeBlock calls must not overlap; SetAveragingDepth, ResetAveraging
// and SetNormalize may be called from another thread while it runs.
namespace sonotrap {

class SpectrumAnalyzer {
public:
    static constexpr int32_t kFftSize = 16384;
    static constexpr float kSampleRate = 32000.0f;
    static constexpr uint32_t kMaxAveragingDepth = 16;

    SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    // Analyses kFftSize samples. reading holds the band (Hz) on entry: low 0, or exactly
    // 16 to 16000, reports the loudest note peak; any other band its own peak. notes
    // receives the note peaks of bins inside the band.
    void AnalyzeBlock(const int16_t* samples, PeakReading& reading, NotePeaks& notes);

    // Averages the last depth spectra (1..16; 1 = off). Restarts the average. False, and
    // nothing changed, for a depth out of range.
    bool SetAveragingDepth(uint32_t depth);
    uint32_t GetAveragingDepth() const;
    // The average starts again from the next spectrum.
    void ResetAveraging();
    // Scales the averaged spectrum so its largest bin is 1.0 (no effect at depth 1).
    void SetNormalize(bool on) { normalize_.store(on, std::memory_order_relaxed); }
    bool GetNormalize() const { return normalize_.load(std::memory_order_relaxed); }

    // The last block's spectrum, kSpectrumBins values; bin 0 is the signed mean.
    const float* Magnitude() const { return magnitude_.data(); }
    // The window with the 1/32768 sample scaling folded in.
    const double* Window() const { return window_.data(); }

private:
    void AverageAndNormalize();
    float* Slot(uint32_t s) const;  // history slot s, 0 the newest (historyLock held)

    RealFft fft_;
    std::vector<double> window_;
    FftWorkspace work_;  // the transform's halves (only X[0] is read back); scratch for averaging
    PageAlignedArray<float> magnitude_;

    mutable std::mutex historyLock;  // guards history_, historyNewest_, filledCount_, averagingDepth_
    // kMaxAveragingDepth slots of kSpectrumBins, a ring. Floats, since they hold float
    // magnitudes: the sums in double come out exactly as from a double history.
    std::unique_ptr<float[]> history_;
    uint32_t historyNewest_ = 0;         // ring index of slot 0 (the newest spectrum)
    uint32_t filledCount_ = 0;
    uint32_t averagingDepth_ = 1;
    bool averagingOn_ = false;
    std::atomic<bool> normalize_{false};
};

}  // namespace sonotrap
