#pragma once
#include <cstdint>

#include "mp3dec/BitReservoir.h"
#include "mp3dec/SideInfo.h"

namespace sonotrap::mp3 {

// One channel of one granule between the bit reservoir and the hybrid synthesis. Spectral
// lines are kept in bitstream order (short blocks band by band, window by window).
struct ChannelGranule {
    double xr[576];
    uint8_t scalefacLong[22];   // kept across the granules of a frame for scfsi
    uint8_t scalefacShort[13][3];
    uint8_t illegalLong[22];    // intensity position that means "no intensity" per band
    uint8_t illegalShort[13][3];
    uint32_t nonzeroEnd;        // one past the last non-zero line (bitstream order)
};

// Reads the scale factors; returns the bits read. intensityRight selects the MPEG-2 layout
// of the right channel of an intensity-stereo frame (and may set the granule's preflag).
uint32_t ReadScaleFactorsMpeg1(BitCursor& cursor, const GranuleInfo& g, uint32_t scfsi,
                               int granule, ChannelGranule& channel);
uint32_t ReadScaleFactorsMpeg2(BitCursor& cursor, GranuleInfo& g, bool intensityRight,
                               ChannelGranule& channel);

// Huffman-decodes and dequantises the spectral lines that end at bit `end`.
// Returns false on a big-values overrun (the frame is then abandoned).
bool Dequantise(BitCursor& cursor, uint32_t end, const GranuleInfo& g, int samplingFrequency,
                ChannelGranule& channel);

// Middle/side and intensity stereo on both channels as the mode extension asks.
void ProcessStereo(ChannelGranule& left, ChannelGranule& right, const GranuleInfo& g,
                   const FrameShape& shape, uint32_t modeExtension);

// Removes the aliasing between subbands; returns the number of subbands that carry data.
uint32_t Antialias(ChannelGranule& channel, const GranuleInfo& g, int samplingFrequency);

}  // namespace sonotrap::mp3
