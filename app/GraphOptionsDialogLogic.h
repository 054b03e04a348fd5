#pragma once

#include "app/Settings.h"

namespace sonotrap {

// What the "Graph Options..." dialog does, apart from its widgets: the slider only sets a
// pending speed; OK hands back speed and normalize for the analyser, Cancel drops them.
class GraphOptionsDialogLogic {
public:
    static constexpr int kSliderId = 1001;
    static constexpr int kNormalizeId = 1002;

    struct Choice {
        int averagingDepth;
        bool normalize;
    };

    // The analyser's current averaging depth and normalize switch.
    GraphOptionsDialogLogic(int averagingDepth, bool normalize)
        : initialSpeed_(averagingDepth), pendingSpeed_(averagingDepth), normalizeAtInit_(normalize) {}

    void OnInitDialog() { pendingSpeed_ = initialSpeed_; }
    void OnSliderScroll(int code, int trackbarPosition, int thumbPosition);
    Choice OnOk(bool normalizeChecked) const { return {pendingSpeed_, normalizeChecked}; }

    int PendingSpeed() const { return pendingSpeed_; }
    bool NormalizeChecked() const { return normalizeAtInit_; }
    static int SliderMin() { return Settings::kGraphSpeedMin; }
    static int SliderMax() { return Settings::kGraphSpeedMax; }

private:
    int initialSpeed_;
    int pendingSpeed_;
    bool normalizeAtInit_;
};

}  // namespace sonotrap
