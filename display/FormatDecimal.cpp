#include "display/FormatDecimal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace sonotrap {

namespace {
constexpr double kLargest = 4294967295.0;
constexpr size_t kTextLimit = 16;  // callers' texts hold 15 characters and the terminator
constexpr int32_t kMostDigits = 11;
}  // namespace

std::string FormatDecimal(int32_t decimals, double value) {
    if (value == 0.0) {
        if (decimals >= static_cast<int32_t>(kTextLimit)) return "ERR";
        return "0." + std::string(static_cast<size_t>(std::max(decimals, 0)), '0');
    }
    const double magnitude = std::fabs(value);
    // Beyond 32 bits the integer part cannot be written; the negative side is refused alike.
    if (!(magnitude <= kLargest)) return "ERR";
    std::string text = value < 0 ? "-" : "";
    text += std::to_string(static_cast<uint32_t>(magnitude));
    text += '.';
    if (decimals > 0 && text.size() + static_cast<size_t>(decimals) >= kTextLimit) return "ERR";
    double fraction = std::fmod(magnitude, 1.0);
    for (int32_t i = 0; i < std::min(decimals, kMostDigits); ++i) {
        fraction *= 10.0;
        const double digit = std::floor(fraction);
        text += static_cast<char>('0' + static_cast<int>(digit));
        fraction -= digit;
    }
    return text;
}

void FormatTimeAndSize(int32_t seconds, int32_t kilobytes, std::string* timeText, std::string* sizeText) {
    if (timeText) {
        const int32_t s = std::max(seconds, 0);
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", (s / 3600) % 100, (s % 3600) / 60, s % 60);
        *timeText = buffer;
    }
    if (sizeText) {
        if (kilobytes < 1024) {
            *sizeText = std::to_string(kilobytes) + " kb";
        } else {
            const float megabytes = static_cast<float>(kilobytes) * 0.0009765625f;
            *sizeText = FormatDecimal(1, megabytes) + " mb";
        }
    }
}

}  // namespace sonotrap
