#include "adapters/portaudio/CaptureRateConverter.h"

#include <cmath>

namespace sonotrap {

CaptureRateConverter::CaptureRateConverter(double inputRate, double outputRate) : step_(inputRate / outputRate) {}

void CaptureRateConverter::Convert(const int16_t* input, size_t count, std::vector<int16_t>* out) {
    if (count == 0) return;
    const double last = static_cast<double>(count - 1);
    auto at = [&](long i) { return static_cast<double>(i < 0 ? previous_ : input[i]); };
    while (position_ <= last) {
        const double floorPosition = std::floor(position_);
        const long i = static_cast<long>(floorPosition);
        const double f = position_ - floorPosition;
        const double next = f > 0.0 ? at(i + 1) : at(i);
        out->push_back(static_cast<int16_t>(std::lround(at(i) * (1.0 - f) + next * f)));
        position_ += step_;
    }
    position_ -= static_cast<double>(count);
    previous_ = input[count - 1];
}

}  // namespace sonotrap
