#include "display/BlockLevel.h"

#include <cmath>

#include "display/LevelScale.h"

namespace sonotrap {

SampleExtremes FindSampleExtremes(const int16_t* samples, size_t count) {
    int32_t lowest = 0, highest = 0;
    for (size_t i = 0; i < count; ++i) {
        const int32_t s = samples[i];
        lowest = s < lowest ? s : lowest;
        highest = s > highest ? s : highest;
    }
    return {lowest, highest};
}

double BlockLevelDb(int32_t lowest, int32_t highest) {
    const int32_t magnitude = lowest < 0 ? -lowest : lowest;
    if (highest <= 0 && magnitude == 0) return 0.0;
    if (highest >= magnitude) return 20.0 * std::log10(highest / 32767.0) + kFullScaleDb;
    return 20.0 * std::log10(magnitude * 3.0517578125e-05) + kFullScaleDb;
}

}  // namespace sonotrap
