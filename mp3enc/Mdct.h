#pragma once
#include "mp3enc/AnalysisFilterbank.h"

namespace sonotrap::mp3enc {

// Long-block MDCT of one channel: 18 lines per subband over the previous and the current
// granule (36 samples, sine window), followed by the encoder's alias-reduction butterflies.
// Spectrum line 18 * sb + m; scaled by 1/9, which the quantiser's gain offset assumes.
class Mdct {
public:
    Mdct();
    // Applies the frequency inversion to granule in place, transforms it with the held
    // previous granule into 576 lines, and keeps granule as the next one's overlap.
    void TransformGranule(GranuleSubbands& granule, double spectrum[576]);
    void Reset();

private:
    GranuleSubbands previous_;
};

}  // namespace sonotrap::mp3enc
