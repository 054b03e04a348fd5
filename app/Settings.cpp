#include "app/Settings.h"

namespace sonotrap {

Settings::Settings(DiagnosticLog& log, CaptureSettings& active) : log_(log), active_(active) {
    active_.threshold = static_cast<double>(kDefaultThreshold);
    active_.minTriggerHz = kDefaultMinFrequency;
    active_.maxTriggerHz = kDefaultMaxFrequency;
    active_.outputMp3 = true;
    active_.peakLogging = true;
    active_.sizeLimit = true;
}

void Settings::ApplyThreshold() {
    active_.threshold.store(static_cast<double>(threshold_), std::memory_order_relaxed);
    if (thresholdListener_) thresholdListener_(threshold_);
    log_.LogValue("Threshold DBs", static_cast<int32_t>(threshold_));
}

void Settings::SetTriggerBand(int32_t minimum, int32_t maximum) {
    active_.minTriggerHz.store(minimum, std::memory_order_relaxed);
    active_.maxTriggerHz.store(maximum, std::memory_order_relaxed);
    log_.LogTwoValues("Min Trigger Freq", "Max Trigger Freq", minimum, maximum);
}

void Settings::SetSizeUnlimited(bool unlimited) {
    sizeUnlimited_ = unlimited;
    active_.sizeLimit.store(!unlimited, std::memory_order_relaxed);
}

void Settings::InstallDefaults() {
    dialogMinFrequency = kDefaultMinFrequency;
    dialogMaxFrequency = kDefaultMaxFrequency;
    SetTriggerBand(kDefaultMinFrequency, kDefaultMaxFrequency);
    threshold_ = kDefaultThreshold;
    ApplyThreshold();
}

}  // namespace sonotrap
