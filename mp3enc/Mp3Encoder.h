#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "mp3enc/Mp3Sink.h"

namespace sonotrap {

namespace mp3enc {
struct EncoderState;
}

// MPEG-1 Layer III encoder for 32 kHz 16-bit PCM, one or two channels, constant bitrate.
// No psychoacoustic model and no bit reservoir: every frame is self-contained, quantised with
// one gain per granule to fit its budget, and filled to its last bit. At 64 kbit/s mono
// (the recording settings) every frame is 288 bytes starting FF FB 58 C4.
// One object per recording run; used by one thread at a time.
class Mp3Encoder {
public:
    static constexpr int kSamplesPerFrame = 1152;  // per channel

    Mp3Encoder();
    ~Mp3Encoder();
    Mp3Encoder(const Mp3Encoder&) = delete;
    Mp3Encoder& operator=(const Mp3Encoder&) = delete;

    // Builds all tables and buffers. bitrateKbps must be an MPEG-1 Layer III rate
    // (32, 40, ..., 320) and channels 1 or 2; anything else returns false and leaves the
    // encoder uninitialised. Initialising again starts afresh.
    bool Initialise(int bitrateKbps, int channels = 1);

    // Encodes count samples (interleaved pairs with two channels): one frame per 1152
    // samples per channel, a short last chunk padded with zeros. With flush, two frames of
    // silence follow, carrying out the audio still held in the filterbank. Null samples or
    // count 0 encode nothing but still flush when asked. With two channels an odd count is
    // refused: nothing is encoded or flushed and 0 returned. Each frame is one sink write.
    // Returns the bytes the sink took (part of a frame too); a short write shows in sink.Failed().
    size_t Encode(const int16_t* samples, size_t count, bool flush, Mp3Sink& sink);

    // Back to the freshly initialised state (no audio held) without freeing anything.
    void Reset();
    // Frees everything; Encode then writes nothing until Initialise is called again.
    void Destroy();

    bool IsInitialised() const { return state_ != nullptr; }
    int Channels() const;
    int FrameBytes() const;         // bytes of an unpadded frame: 288 at 64 kbit/s
    uint32_t FramesWritten() const;  // frames the sink accepted since Initialise

private:
    std::unique_ptr<mp3enc::EncoderState> state_;
};

}  // namespace sonotrap
