#pragma once
#include <cstdint>

namespace sonotrap::mp3enc {

// The header fields of the encoder's frames and the per-frame size bookkeeping.
struct FrameHeader {
    int version = 1;                 // MPEG-1
    int mode = 2;                    // 3 = single channel, 2 = dual channel
    int bitrateKbps = 0;
    int bitrateIndex = -1;           // position in the Layer III table, -1 = not a valid rate
    int samplingFrequencyIndex = 2;  // 32 kHz
    int padding = 0;
    int frameBits = 0;
    int samplesPerFrame = 1152;
    bool crcProtection = false;
    int privateBit = 0;
    int modeExtension = 0;
    int copyright = 0;
    int original = 1;
    int emphasis = 0;
};

// Index 1..14 of an MPEG-1 Layer III bitrate, -1 when it is not in the table or is 0.
int BitrateIndex(int bitrateKbps);

FrameHeader MakeFrameHeader(int bitrateKbps, int channels);

// Header plus side information: 168 bits for one channel, 288 for two.
inline int SideInformationBits(int channels) { return channels == 1 ? 168 : 288; }

// Frame length at 32 kHz and the padding decision. At 32 kHz every table rate gives whole
// bytes, so the slot lag only matters for a fractional byte count.
class FrameSizer {
public:
    void Initialise(int bitrateKbps);
    void Reset() { slotLag_ = -fractionalBytes_; }
    // Decides the next frame's padding (0 or 1) and advances the slot lag.
    int NextPadding();
    int WholeBytes() const { return wholeBytes_; }

private:
    int wholeBytes_ = 0;
    double fractionalBytes_ = 0.0;
    double slotLag_ = 0.0;
};

}  // namespace sonotrap::mp3enc
