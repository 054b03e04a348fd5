#include "adapters/portaudio/CaptureRateConverter.h"

#include <soxr.h>

#include <cmath>
#include <vector>

namespace sonotrap {

CaptureRateConverter::CaptureRateConverter(double inputRate, double outputRate) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    // High quality without dither (the input is 16-bit already); one thread, no pool.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_NO_DITHER);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    soxr_ = soxr_create(inputRate, outputRate, 1, &error, &io, &quality, &runtime);
    if (error) {
        soxr_delete(soxr_);
        soxr_ = nullptr;
        return;
    }
    maxOutput_ = static_cast<size_t>(std::ceil(kMaxChunk * outputRate / inputRate)) + 64;
    // The resampler sizes its inner buffers on the first blocks it sees: let that happen here,
    // not on the device's callback. The silence it leaves in the delay line is harmless.
    std::vector<int16_t> silence(kMaxChunk, 0), out(maxOutput_);
    for (int i = 0; i < 8; ++i) Convert(silence.data(), silence.size(), out.data());
}

CaptureRateConverter::~CaptureRateConverter() { soxr_delete(soxr_); }

size_t CaptureRateConverter::Convert(const int16_t* input, size_t count, int16_t* out) {
    if (!soxr_ || count > kMaxChunk) return 0;
    size_t used = 0, made = 0;
    if (soxr_process(soxr_, input, count, &used, out, maxOutput_, &made) != nullptr) return 0;
    return made;
}

}  // namespace sonotrap
