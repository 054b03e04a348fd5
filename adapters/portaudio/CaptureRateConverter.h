#pragma once
#include <cstddef>
#include <cstdint>

struct soxr;

namespace sonotrap {

// Turns a capture device's own rate into 32000 Hz, chunk by chunk, with libsoxr's
// band-limited resampler (for devices that refuse to open at 32000 Hz): audio above the
// output's 16 kHz is filtered out instead of folding back into the band. Everything it needs is
// made at construction, so Convert can run on a device's callback thread.
class CaptureRateConverter {
public:
    static constexpr size_t kMaxChunk = 1024;  // input samples per Convert call at most

    explicit CaptureRateConverter(double inputRate, double outputRate = 32000.0);
    ~CaptureRateConverter();
    CaptureRateConverter(const CaptureRateConverter&) = delete;
    CaptureRateConverter& operator=(const CaptureRateConverter&) = delete;

    bool IsReady() const { return soxr_ != nullptr; }
    // Output samples one Convert call may give at most: the size of its out array.
    size_t MaxOutput() const { return maxOutput_; }
    // Converts count <= kMaxChunk input samples; returns how many output samples it wrote to
    // out (MaxOutput() long). The filter's delay holds the newest samples back until later calls.
    size_t Convert(const int16_t* input, size_t count, int16_t* out);

private:
    soxr* soxr_ = nullptr;
    size_t maxOutput_ = 0;
};

}  // namespace sonotrap
