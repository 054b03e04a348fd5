#pragma once
#include <atomic>
#include <cstdint>
#include <functional>

#include "log/DiagnosticLog.h"
#include "capture/CaptureSettings.h"

namespace sonotrap {

// The user's settings. They start from fixed defaults at every run and are never saved.
// The main thread changes them; the capture side's threads read the active values from the
// CaptureSettings this object writes through to. Graph speed and normalize live in the spectrum analyser itself (its
// averaging depth and normalize switch); only their limits are kept here.
class Settings {
public:
    static constexpr uint32_t kDefaultThreshold = 60;       // shown as -60 dB
    static constexpr uint32_t kSliderThresholdMin = 3;      // the sensitivity slider's range
    static constexpr uint32_t kSliderThresholdMax = 90;
    static constexpr uint32_t kClickThresholdMax = 96;      // a peak-meter click gives 0..96
    static constexpr int32_t kDefaultMinFrequency = 16;     // Hz
    static constexpr int32_t kDefaultMaxFrequency = 16000;  // Hz
    static constexpr int kGraphSpeedMin = 1;                // spectra averaged, 1 fastest
    static constexpr int kGraphSpeedMax = 16;
    static constexpr int kDefaultGraphSpeed = 1;
    static constexpr bool kDefaultNormalize = false;

    Settings(DiagnosticLog& log, CaptureSettings& active);

    // Called by ApplyThreshold with the new threshold (the peak meter redraws its line).
    void SetThresholdListener(std::function<void(uint32_t)> listener) { thresholdListener_ = std::move(listener); }

    // The integer threshold T (main thread only); ApplyThreshold makes it active.
    uint32_t Threshold() const { return threshold_; }
    void SetThreshold(uint32_t threshold) { threshold_ = threshold; }
    // Refreshes the double copy the trigger reads, tells the listener and logs "Threshold DBs".
    void ApplyThreshold();
    double ThresholdLevel() const { return active_.threshold.load(std::memory_order_relaxed); }

    // Stores the active band the trigger reads and logs it; no check here (the dialog checks).
    void SetTriggerBand(int32_t minimum, int32_t maximum);
    int32_t MinTriggerFrequency() const { return active_.minTriggerHz.load(std::memory_order_relaxed); }
    int32_t MaxTriggerFrequency() const { return active_.maxTriggerHz.load(std::memory_order_relaxed); }

    // The band last entered in the recording dialog, accepted or not; shown when it reopens.
    int32_t dialogMinFrequency = kDefaultMinFrequency;
    int32_t dialogMaxFrequency = kDefaultMaxFrequency;

    // Output format (true = mp3); a capture run copies it when it starts.
    bool OutputMp3() const { return active_.outputMp3.load(std::memory_order_relaxed); }
    void SetOutputMp3(bool mp3) { active_.outputMp3.store(mp3, std::memory_order_relaxed); }
    bool PeakLogging() const { return active_.peakLogging.load(std::memory_order_relaxed); }
    void SetPeakLogging(bool on) { active_.peakLogging.store(on, std::memory_order_relaxed); }
    // The file-size limit, stored inverted; the recorder reads the active copy.
    bool SizeUnlimited() const { return sizeUnlimited_; }
    void SetSizeUnlimited(bool unlimited);
    bool ActiveSizeUnlimited() const { return !active_.sizeLimit.load(std::memory_order_relaxed); }
    void ActivateSizeLimit() { active_.sizeLimit.store(!sizeUnlimited_, std::memory_order_relaxed); }

    // Installs the trigger defaults as start-up does: the two frequencies, then the threshold
    // (one log line each).
    void InstallDefaults();

private:
    DiagnosticLog& log_;
    CaptureSettings& active_;
    std::function<void(uint32_t)> thresholdListener_;
    uint32_t threshold_ = kDefaultThreshold;
    std::atomic<bool> sizeUnlimited_{false};  // the File IO dialog may change it during start-up
};

}  // namespace sonotrap
