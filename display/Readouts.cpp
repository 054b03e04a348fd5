// The readout boxes of the frequency graph: "Peak dB", "Peak f:", "VU dB", time and size.
#include <algorithm>
#include <cmath>
#include <string>

#include "display/FormatDecimal.h"
#include "display/FrequencyGraph.h"
#include "display/LevelScale.h"
#include "display/ScreenLayout.h"

namespace sonotrap {

namespace {
// The texts read slower than their bars: a second smoothing over the meters' results.
double SmoothText(double meterValue, double& memory) {
    const double shown = std::max((0.5 * meterValue + memory) / 1.5, 0.0);
    memory = meterValue;
    return shown;
}

std::string PeakFrequencyText(float peakHz) {
    if (peakHz >= 10000.0f) return std::to_string(static_cast<long long>(std::floor(peakHz)));
    return FormatDecimal(1, peakHz);
}
}  // namespace

void FrequencyGraph::UpdateMetersAndReadouts(bool showVuText, double vuLevel, float peakHz, float peakDb) {
    std::lock_guard drawing(drawMutex_);
    const double p = SmoothText(peakMeter_.UpdateLevelMeter(kFullScaleDb + peakDb), peakTextMemory_);
    const double u = SmoothText(vuMeter_.UpdateLevelMeter(vuLevel), vuTextMemory_);
    const Layout& b = layout_;
    {
        auto canvas = screen_.Lock();
        canvas.FillRect(b.peakDbValue, textBackground_);
        canvas.DrawText(575, 435, FormatDecimal(1, p - kFullScaleDb), {kBlack, textBackground_, TextAlign::Right});
        canvas.FillRect(b.peakHzValue, textBackground_);
        canvas.DrawText(575, 436 + lineHeight_, PeakFrequencyText(peakHz), {kBlack, textBackground_, TextAlign::Right});
        if (showVuText) {
            canvas.FillRect(b.levelBox, textBackground_);
            canvas.DrawText(65, 435, "VU dB   " + FormatDecimal(1, u - kFullScaleDb),
                            {kBlack, textBackground_, TextAlign::Left});
        }
    }
    if (showVuText) screen_.Invalidate(b.levelFrame);
    InvalidateAll({b.peakHzValue, vuMeter_.Area(), peakMeter_.Area(), b.peakDbValue});
}

void FrequencyGraph::UpdateTimeAndSize(int32_t seconds, int32_t kilobytes) {
    std::lock_guard drawing(drawMutex_);
    const bool newTime = seconds != shownSeconds_;
    const bool newSize = kilobytes != shownKilobytes_;
    if (!newTime && !newSize) return;
    const Layout& b = layout_;
    const TextStyle right{kBlack, textBackground_, TextAlign::Right};
    std::string timeText;
    std::string sizeText;
    FormatTimeAndSize(seconds, kilobytes, newTime ? &timeText : nullptr, newSize ? &sizeText : nullptr);
    {
        auto canvas = screen_.Lock();
        if (newTime) {
            canvas.FillRect(b.timeBox, textBackground_);
            canvas.DrawText(158, 436 + lineHeight_, timeText, right);
        }
        if (newSize) {
            canvas.FillRect(b.levelBox, textBackground_);
            canvas.DrawText(158, 435, sizeText, right);
        }
    }
    if (newTime) screen_.Invalidate(b.timeFrame);
    if (newSize) screen_.Invalidate(b.levelFrame);
    shownSeconds_ = seconds;
    shownKilobytes_ = kilobytes;
}

}  // namespace sonotrap
