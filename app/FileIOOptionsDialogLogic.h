#pragma once

#include "app/Settings.h"

namespace sonotrap {

// What the "File IO options..." dialog does, apart from its widgets: three pairs of radio
// buttons show the output format, peak logging and the file-size limit; OK stores all three.
class FileIOOptionsDialogLogic {
public:
    static constexpr int kPeakOnId = 1004;
    static constexpr int kPeakOffId = 1005;
    static constexpr int kMp3Id = 1006;
    static constexpr int kWavId = 1007;
    static constexpr int kLimitOnId = 1008;
    static constexpr int kLimitOffId = 1009;

    struct Checks {
        bool mp3;       // 1006 checked, else 1007
        bool peakOn;    // 1004 checked, else 1005
        bool limitOn;   // 1008 checked, else 1009
    };

    explicit FileIOOptionsDialogLogic(Settings& settings) : settings_(settings) {}

    Checks OnInitDialog() const;
    void OnOk(const Checks& checks);

private:
    Settings& settings_;
};

}  // namespace sonotrap
