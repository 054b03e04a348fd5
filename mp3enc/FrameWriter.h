#pragma once
#include "mp3enc/BitWriter.h"
#include "mp3enc/FrameHeader.h"
#include "mp3enc/GranuleInfo.h"

namespace sonotrap::mp3enc {

// Formats one self-contained Layer III frame: header, side information (main_data_begin 0)
// and the Huffman-coded main data of every granule and channel, each granule padded with
// 1-bits up to its part2_3_length, and the frame filled with 1-bits to its last byte.
// q holds signed quantised values. Returns the frame's byte count in out.
size_t FormatFrame(const FrameHeader& header, int channels, const SideInfo& side,
                   const QuantisedFrame& q, BitWriter& out);

// The Huffman code of one big-values pair (signed values) in table 1..31, with its linbits
// and sign bits; and of one count1 quadruple in table 32 (A) or 33 (B). For tests and the
// frame writer.
void PutPair(BitWriter& out, int table, int x, int y);
void PutQuadruple(BitWriter& out, int table, int v, int w, int x, int y);

}  // namespace sonotrap::mp3enc
