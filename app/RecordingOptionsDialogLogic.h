#pragma once
#include <cstdint>
#include <string>

#include "app/Settings.h"
#include "app/ShellState.h"
#include "platform/MainWindow.h"

namespace sonotrap {

// What the "Recording options..." dialog does, apart from its widgets: the sensitivity slider
// moves the threshold live during a capture run, OK checks and installs the trigger band, and
// Cancel puts back the threshold the dialog opened with.
class RecordingOptionsDialogLogic {
public:
    static constexpr int kThresholdEditId = 1000;
    static constexpr int kMinEditId = 1001;
    static constexpr int kMaxEditId = 1002;
    static constexpr int kSliderId = 1003;
    static constexpr int kFrequencyTextMax = 6;  // characters read from each frequency edit

    RecordingOptionsDialogLogic(Settings& settings, const ShellState& state, MainWindow& window)
        : settings_(settings), state_(state), window_(window) {}

    void OnInitDialog();
    // A scroll notification from the slider; true when the threshold changed.
    bool OnSliderScroll(int code, int trackbarPosition, int thumbPosition);
    // True when the dialog may close; false keeps it open (the error has been shown).
    bool OnOk(const std::string& minText, const std::string& maxText);
    void OnCancel();

    // What the controls show.
    std::string ThresholdText() const;  // "-60 dB"
    std::string MinText() const { return std::to_string(settings_.dialogMinFrequency); }
    std::string MaxText() const { return std::to_string(settings_.dialogMaxFrequency); }
    int SliderPosition() const { return static_cast<int>(settings_.Threshold()); }
    static int SliderMin() { return Settings::kSliderThresholdMin; }
    static int SliderMax() { return Settings::kSliderThresholdMax; }

private:
    Settings& settings_;
    const ShellState& state_;
    MainWindow& window_;
    uint32_t savedThreshold_ = 0;
};

// The C runtime's decimal conversion of at most maxChars leading characters: optional blanks
// and sign, then digits; no digits gives 0.
int32_t DecimalTextToInt(const std::string& text, size_t maxChars);

}  // namespace sonotrap
