#pragma once
#include "mp3enc/GranuleInfo.h"

namespace sonotrap::mp3enc {

// Largest magnitude a frame can carry: 15 plus the widest escape (13 linbits).
constexpr int kLargestCodableMagnitude = 15 + 8191;

// A granule's lines prepared for quantising: |x|^0.75 once, so that each pass is one multiply
// per line, and the largest of each tail, so that a pass skips the lines it would zero.
struct PoweredLines {
    double value[576];
    double tailMax[577];  // tailMax[i] = max(value[i..575]), tailMax[576] = 0
    void From(const double* x);
};

// The largest magnitude that step s gives, without quantising.
int LargestMagnitudeAt(const PoweredLines& lines, int step);

// Quantises one granule's lines with step s: floor((|x| / 2^(s/4))^0.75). Every line is
// computed afresh (magnitudes far above the codable range are capped, never kept from an
// earlier pass). Returns the largest magnitude.
int QuantiseLines(const PoweredLines& lines, int step, int* q);

// The Huffman regions of 576 magnitudes: trailing zero pairs dropped, then quadruples of
// magnitude <= 1 counted into count1, the rest big values.
void FindRegionLengths(const int* q, GranuleInfo& g);

// Splits the big-values region into up to three regions along the band boundaries.
void SubdivideBigValues(const int* bandBoundaries, GranuleInfo& g);

// Region lengths, subdivision and table choice for the magnitudes; returns the Huffman bits
// (big values plus count1, signs included) and fills the granule's fields for them.
// With a limit, counting may stop as soon as the bits exceed it: the result is then some
// number above the limit and the table choice incomplete.
int CountGranuleBits(const int* q, const int* bandBoundaries, GranuleInfo& g, int limit = 1 << 30);

}  // namespace sonotrap::mp3enc
