#pragma once
#include <cstdint>

namespace sonotrap::mp3enc {

extern const double kAnalysisWindow[512];  // the standard's window C, six decimals

// Subband samples of one granule: 18 time slots x 32 subbands.
using GranuleSubbands = double[18][32];

// The polyphase analysis filterbank of one channel: 32 subbands from a 512-sample history.
// Input is 16-bit PCM scaled to +-1; the history carries audio from granule to granule.
class AnalysisFilterbank {
public:
    AnalysisFilterbank();
    // Filters 576 samples into 18 slots of 32 subband samples.
    void AnalyseGranule(const int16_t* samples, GranuleSubbands& out);
    void Reset();

private:
    void FilterSlot(double out[32]);
    // The 512-sample circular history, stored twice so that every window read is contiguous.
    double history_[1024];
    int offset_ = 0;
};

}  // namespace sonotrap::mp3enc
