#pragma once
#include <cstdint>

namespace sonotrap {

// Layer III decoder (MPEG-1 and MPEG-2 low sampling rates) over an already indexed stream.
// The caller owns three tables indexed by frame number (start pointer, length in bytes with
// the header, bytes taken so far - zero at the start) and feeds frames 0, 1, 2 ... one per
// DecodeFrame call. A frame's samples come out on the call that feeds the next frame, so
// the first call only reads a header and the last frame of a file is never decoded.
// Whatever the stream claims, the decoder reads only inside the frames it is given and
// writes only inside its own buffers and the caller's 4608-byte output.
struct Mp3Decoder;

// Maximum bytes DecodeFrame writes: 1152 stereo samples of 16 bits.
constexpr uint32_t kMp3MaxFrameOutputBytes = 4608;

// Builds the shared read-only tables; idempotent and thread-safe. Call before decoding.
void InitDecoderTables();

// Returns nullptr when memory is short.
Mp3Decoder* CreateDecoder(const uint8_t* const* frameStart, const uint32_t* frameLength,
                          uint32_t* frameConsumed);
// Back to the state after creation (call after zeroing frameConsumed).
void ResetDecoder(Mp3Decoder* decoder);
void DestroyDecoder(Mp3Decoder* decoder);

// Feeds frame frameIndex. Returns 0 when this call decoded a frame (outputBytes holds the
// PCM bytes written to output, 16-bit, left/right interleaved for two channels; it may be
// 0 when the frame referred to data never seen), 1 when more frames are needed first.
int DecodeFrame(Mp3Decoder* decoder, uint32_t frameIndex, int16_t* output,
                uint32_t* outputBytes);

// Channels and sampling rate (Hz) of the last header the decoder read, 0 before any.
uint32_t DecoderChannels(const Mp3Decoder* decoder);
uint32_t DecoderSampleRate(const Mp3Decoder* decoder);

}  // namespace sonotrap
