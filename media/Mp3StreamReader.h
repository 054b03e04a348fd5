#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "media/AudioFormat.h"
#include "mp3dec/Mp3Decoder.h"
#include "mp3dec/Mp3FrameIndex.h"

namespace sonotrap {

// Reads a Layer III stream through the decoder. Open indexes every frame of the data once,
// so that decoding never searches: each call hands the decoder the next frame through the
// frame tables. N frames yield N - 1 frames of audio (the decoder's output lags one frame).
// The data belong to the caller and must outlive the reader.
class Mp3StreamReader {
public:
    Mp3StreamReader() = default;
    ~Mp3StreamReader();
    Mp3StreamReader(const Mp3StreamReader&) = delete;
    Mp3StreamReader& operator=(const Mp3StreamReader&) = delete;

    // Indexes the stream and creates its decoder. False when no frame is found, when no
    // frame yields samples, or when memory is short. sharedDecoder is the program's start-up
    // object: kept, never used. At most maxFrames frames are indexed; the rest of a longer
    // stream is not read.
    bool Open(const uint8_t* data, size_t count, void* sharedDecoder,
              uint32_t maxFrames = Mp3FrameIndex::kPlaybackMaxFrames);

    const AudioFormat& Format() const { return format; }
    uint32_t FrameCount() const { return frameCount; }

    // Decodes frames until one yields samples; returns the PCM bytes written (interleaved for
    // two channels, at most kMp3MaxFrameOutputBytes), 0 at the end of the stream.
    uint32_t DecodeNextFrame(int16_t* output);
    // A mono stream: the next frame's samples; the rest of the block is zero.
    uint32_t ReadMonoBlock(int16_t* block);
    // A stereo stream: the mean of each left/right pair of the next frame.
    uint32_t ReadDownmixBlock(int16_t* block);
    // Back to frame 0 with a fresh decoder state.
    void Rewind();

private:
    std::unique_ptr<int16_t[]> scratch;  // one frame's output, whatever the block size
    uint32_t frameCount = 0;
    uint32_t currentFrame = 0;  // the next frame to hand to the decoder
    AudioFormat format;
    std::unique_ptr<const uint8_t*[]> frameStart;
    std::unique_ptr<uint32_t[]> frameLength;
    std::unique_ptr<uint32_t[]> frameConsumed;
    Mp3Decoder* decoder = nullptr;
    uint32_t tableCapacity = 0;
    void* sharedDecoder = nullptr;
};

}  // namespace sonotrap
