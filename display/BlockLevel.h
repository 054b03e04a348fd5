#pragma once
#include <cstddef>
#include <cstdint>

// The sample level of a capture block for the left meter and the "VU dB" readout.
namespace sonotrap {

constexpr size_t kCaptureBlockSamples = 2304;

// The lowest and highest sample; both start at 0, so lowest <= 0 <= highest.
struct SampleExtremes {
    int32_t lowest = 0;
    int32_t highest = 0;
};
SampleExtremes FindSampleExtremes(const int16_t* samples, size_t count = kCaptureBlockSamples);

// dB above the 16-bit floor (0 .. 96.33): 0 for a silent block, one least bit about 6.02.
double BlockLevelDb(int32_t lowest, int32_t highest);
inline double BlockLevelDb(const SampleExtremes& e) { return BlockLevelDb(e.lowest, e.highest); }

}  // namespace sonotrap
