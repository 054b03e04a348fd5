#pragma once
#include <cstdint>

#include "mp3dec/Layer3Granule.h"

namespace sonotrap::mp3 {

// IMDCT, windowing and overlap-add of one channel's granule: 18 time samples in each of the
// first `subbands` subbands; the others replay the previous overlap. The output is
// subband-interleaved, out[slot][subband], with the odd subbands' frequency inversion done.
// The overlap is kept in the same layout, overlap[slot * 32 + subband].
void HybridSynthesis(const ChannelGranule& channel, const GranuleInfo& g, int samplingFrequency,
                     uint32_t subbands, double* overlap /* 576 */, double out[18][32]);

}  // namespace sonotrap::mp3
