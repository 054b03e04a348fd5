#include "mp3enc/FrameHeader.h"

namespace sonotrap::mp3enc {

int BitrateIndex(int bitrateKbps) {
    static constexpr int kRates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    for (int i = 0; i < 14; ++i) {
        if (kRates[i] == bitrateKbps) return i + 1;
    }
    return -1;
}

FrameHeader MakeFrameHeader(int bitrateKbps, int channels) {
    FrameHeader h;
    h.bitrateKbps = bitrateKbps;
    h.bitrateIndex = BitrateIndex(bitrateKbps);
    if (channels == 1) h.mode = 3;
    return h;
}

void FrameSizer::Initialise(int bitrateKbps) {
    const double bytes = 1152.0 * (1.0 / 32.0) * bitrateKbps / 8.0;
    wholeBytes_ = static_cast<int>(bytes);
    fractionalBytes_ = bytes - wholeBytes_;
    Reset();
}

int FrameSizer::NextPadding() {
    if (fractionalBytes_ == 0.0) return 0;
    if (slotLag_ > fractionalBytes_ - 1.0) {
        slotLag_ -= fractionalBytes_;
        return 0;
    }
    slotLag_ += 1.0 - fractionalBytes_;
    return 1;
}

}  // namespace sonotrap::mp3enc
