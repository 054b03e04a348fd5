#include "EncoderTestSignals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonotrap::enctest {
namespace {

constexpr double kRate = 32000.0;

int16_t ToSample(double v) { return static_cast<int16_t>(std::lround(std::clamp(v * 32768.0, -32768.0, 32767.0))); }

double Amplitude(double dbfs) { return std::pow(10.0, dbfs / 20.0); }

// seconds of samples whose values (in full-scale units) f gives for each time in seconds
template <typename F>
std::vector<int16_t> Generate(double seconds, F f) {
    std::vector<int16_t> out(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < out.size(); ++i) out[i] = ToSample(f(i / kRate));
    return out;
}

}  // namespace

std::vector<int16_t> SineWave(double hz, double dbfs, double seconds) {
    return Generate(seconds, [&](double t) { return Amplitude(dbfs) * std::sin(2 * std::numbers::pi * hz * t); });
}

std::vector<int16_t> LogSweep(double fromHz, double toHz, double dbfs, double seconds) {
    const double k = std::log(toHz / fromHz);
    return Generate(seconds, [&](double t) {
        return Amplitude(dbfs) * std::sin(2 * std::numbers::pi * fromHz * seconds / k * (std::exp(t / seconds * k) - 1.0));
    });
}

// Uniform noise scaled so its RMS is the given level.
std::vector<int16_t> WhiteNoise(double dbfs, double seconds, uint32_t seed) {
    return Generate(seconds, [&](double) {
        seed = seed * 1664525u + 1013904223u;
        return Amplitude(dbfs) * std::sqrt(3.0) * ((seed >> 8) / 8388608.0 - 1.0);
    });
}

std::vector<int16_t> ClippedSquare(double hz, double seconds) {
    return Generate(seconds, [&](double t) { return 4.0 * std::sin(2 * std::numbers::pi * hz * t); });
}

std::vector<uint8_t> EncodeAll(Mp3Encoder& encoder, const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes;
    Mp3Sink sink([&bytes](const uint8_t* p, size_t n) {
        bytes.insert(bytes.end(), p, p + n);
        return true;
    });
    const size_t chunk = Mp3Encoder::kSamplesPerFrame * static_cast<size_t>(encoder.Channels());
    size_t at = 0;
    do {
        const size_t n = std::min(chunk, samples.size() - at);
        encoder.Encode(samples.data() + at, n, at + n >= samples.size(), sink);
        at += n;
    } while (at < samples.size());
    return bytes;
}

}  // namespace sonotrap::enctest
