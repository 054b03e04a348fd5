#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sonotrap {

// Turns a capture device's own rate into 32000 Hz, chunk by chunk, by linear interpolation
// (for devices that refuse to open at 32000 Hz; audio above 16 kHz folds back).
class CaptureRateConverter {
public:
    explicit CaptureRateConverter(double inputRate, double outputRate = 32000.0);
    // Appends the output samples for the next input chunk to out.
    void Convert(const int16_t* input, size_t count, std::vector<int16_t>* out);

private:
    double step_;          // input samples per output sample
    double position_ = 0;  // next output position, in input samples from the chunk start (>= -1)
    int16_t previous_ = 0;  // the last sample of the previous chunk (position -1)
};

}  // namespace sonotrap
