#include "app/RecordingOptionsDialogLogic.h"

#include <cctype>

#include "app/TrackbarScroll.h"

namespace sonotrap {

void RecordingOptionsDialogLogic::OnInitDialog() { savedThreshold_ = settings_.Threshold(); }

bool RecordingOptionsDialogLogic::OnSliderScroll(int code, int trackbarPosition, int thumbPosition) {
    if (!state_.captureSide || !state_.running) return false;
    std::optional<int> value = TrackbarScrollValue(code, trackbarPosition, thumbPosition);
    if (!value) return false;
    settings_.SetThreshold(static_cast<uint32_t>(*value));
    settings_.ApplyThreshold();
    return true;
}

bool RecordingOptionsDialogLogic::OnOk(const std::string& minText, const std::string& maxText) {
    settings_.dialogMinFrequency = DecimalTextToInt(minText, kFrequencyTextMax);
    settings_.dialogMaxFrequency = DecimalTextToInt(maxText, kFrequencyTextMax);
    if (settings_.dialogMinFrequency >= settings_.dialogMaxFrequency) {
        window_.ShowMessageBox("Please enter a minimum value < the maximum!",
                               "Minimum frequencyn trigger entry error...", MessageIcon::Hand);
        return false;
    }
    settings_.SetTriggerBand(settings_.dialogMinFrequency, settings_.dialogMaxFrequency);
    settings_.ApplyThreshold();
    return true;
}

void RecordingOptionsDialogLogic::OnCancel() {
    settings_.SetThreshold(savedThreshold_);
    settings_.ApplyThreshold();
}

std::string RecordingOptionsDialogLogic::ThresholdText() const {
    return std::to_string(-static_cast<int64_t>(settings_.Threshold())) + " dB";
}

int32_t DecimalTextToInt(const std::string& text, size_t maxChars) {
    std::string s = text.substr(0, maxChars);
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int64_t value = 0;
    // At most 6 characters reach here, so the value always fits.
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) value = value * 10 + (s[i] - '0');
    return static_cast<int32_t>(negative ? -value : value);
}

}  // namespace sonotrap
