#pragma once
#include <cstdint>
#include <memory>

#include "media/AudioFormat.h"

namespace sonotrap {

class WavDataReader;
class Mp3StreamReader;

// floor(frames x ratio) as an unsigned 32-bit count, saturating instead of overflowing.
uint32_t ScaledSampleCount(uint32_t frames, double ratio);

// Turns a music file's samples at the file's own rate into 16-bit mono samples at the output
// rate, one music block per request. Reads a WAV source in place, or decodes MP3 frames into a
// buffer of its own; folds stereo to mono while it interpolates (raised cosine for the first two
// input frames, four-point cubic after them; an output position on an input frame copies it).
// Yields at most floor(sampleFrames x output rate / source rate) samples, fewer when the input
// runs out first. The sources belong to the caller and must outlive the converter.
class RateConverter {
public:
    // Exactly one of the sources is set. Returns null when the input buffer cannot be allocated.
    static std::unique_ptr<RateConverter> Create(WavDataReader* wavSource, Mp3StreamReader* mp3Source,
                                                 const AudioFormat& format, double ratioOutIn,
                                                 double ratioInOut);

    // Fills one music block; returns the real samples (the rest is zero), 0 once the stream ended.
    uint32_t ReadBlock(int16_t* block);
    // Starts again from the first sample (for an MP3 source after its reader was rewound).
    void Rewind();

    double Step() const { return step; }
    uint32_t OutputTotal() const { return outputTotal; }

private:
    RateConverter() = default;
    bool Prime();
    bool PrimeMp3();
    bool Refill(uint64_t& index);
    int Sample(uint64_t index) const;
    double Value(uint64_t index) const;
    int16_t ExactFrame(uint64_t index) const;
    int16_t StartSample(uint64_t index, double mu) const;
    int16_t CubicSample(uint64_t index, double mu) const;
    uint32_t EndStream(int16_t* block, uint32_t written);

    std::unique_ptr<int16_t[]> ownBuffer;  // MP3 source only: room for two decoded frames
    WavDataReader* wavSource = nullptr;
    Mp3StreamReader* mp3Source = nullptr;
    AudioFormat format;
    double position = 0.0;  // input position in sample frames since the start of the stream
    double step = 1.0;      // source rate / output rate
    double ratioOutIn = 1.0;
    const uint8_t* samples = nullptr;  // WAV source: little-endian bytes in the mapped file
    uint32_t bufferBase = 0;    // interleaved input samples before the first entry of the buffer
    uint32_t outputCount = 0;   // output samples since the start or the last rewind
    uint32_t bufferIndex = 0;   // buffer index of the current input frame's first sample
    uint32_t bufferLimit = 0;   // the largest bufferIndex usable before new input is needed
    uint32_t historyLength = 0; // interleaved samples kept across a refill: three frames
    uint32_t outputTotal = 0;
};

}  // namespace sonotrap
