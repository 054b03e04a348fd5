#pragma once
#include "mp3enc/GranuleInfo.h"
#include "mp3enc/Quantizer.h"

namespace sonotrap::mp3enc {

// Chooses one quantiser step per granule and channel so that its Huffman data fits the
// frame's budget; there is no psychoacoustic model and no bit reservoir. Bits a granule
// leaves unused become stuffing in granule 0, channel 0, so every frame is full.
class RateControl {
public:
    // bandRow: version * 3 + sampling frequency index of the frames.
    void Initialise(int bandRow, int channels);
    void Reset() { leftoverBits_ = 0; }

    // Quantises both granules of every channel to non-negative magnitudes and fills the side
    // information for a budget of meanBitsPerGranule (all channels together).
    void QuantiseFrame(const double (*spectrum)[2][576], QuantisedFrame& q, SideInfo& side,
                       int meanBitsPerGranule);

private:
    void QuantiseGranule(const double* x, int* q, GranuleInfo& g, int limit);
    PoweredLines powered_;  // work area
    const int* bands_ = nullptr;
    int channels_ = 1;
    int leftoverBits_ = 0;
};

// Starting step from the granule's spectral flatness: n - 70 with n = 8 ln(geometric mean /
// arithmetic mean) (both over all 576 lines, zero lines skipped), between -170 and -70.
int StartStep(const double* x);

// The 8-bit global_gain of a step: step + 210, truncated toward zero.
int GlobalGain(double step);

// Moves the frame's leftover bits into granule 0, channel 0 as stuffing that decoders read
// as zero quadruples. Table B codes a zero quadruple in 4 bits, so a run that is not a
// multiple of 4 would end in a partial code: such a granule takes table A (1-bit zero
// quadruple) when the stuffing pays for it, otherwise the odd bits are left after the
// granules as ancillary data. part2_3_length never exceeds its 12 bits either.
void PlaceStuffing(const int* q, GranuleInfo& g, int leftoverBits);

}  // namespace sonotrap::mp3enc
