#pragma once

namespace sonotrap::mp3enc {

// Bit costs of quantised magnitudes under the Layer III Huffman tables, and the choice of
// tables. Lines are non-negative magnitudes; sign bits are counted, not written.

// Bits of the pairs in [begin, end) coded with big-values table (1..31).
int RegionBits(const int* q, int begin, int end, int table);

// The table for the pairs in [begin, end): 0 for an all-zero region, otherwise the cheapest
// table of the smallest group that can code the largest magnitude. Its cost goes to *bits.
int ChooseRegionTable(const int* q, int begin, int end, int* bits);

// Bits of quads quadruples from line begin in count1 table 32 (A) or 33 (B).
int Count1Bits(const int* q, int begin, int quads, int table);

// Chooses the cheaper count1 table (B on a tie); *tableSelect gets 0 (A) or 1 (B).
int ChooseCount1Table(const int* q, int begin, int quads, int* tableSelect);

}  // namespace sonotrap::mp3enc
