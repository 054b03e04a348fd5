#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sonotrap::test {

// A whole MP3 stream decoded through the frame index and the decoder.
struct DecodedStream {
    bool indexed = false;
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t frameCount = 0;
    uint32_t sampleFrames = 0;            // as the index counts them
    std::vector<int16_t> pcm;             // interleaved
    std::vector<uint32_t> bytesPerFrame;  // output bytes of every DecodeFrame call
};

// Frame tables as the index lists them.
struct FrameList {
    std::vector<const uint8_t*> starts;
    std::vector<uint32_t> lengths;
};
FrameList ListFrames(const std::vector<uint8_t>& bytes);

// Feeds the given frames to a fresh decoder, one call each (plus a zero-length frame after
// the last with flushLast), collecting the output of every call.
DecodedStream DecodeFrames(const FrameList& frames, bool flushLast = false);

// Decodes every indexed frame; with flushLast a zero-length frame is fed after the last so
// that it is decoded too (as the conformance references expect).
DecodedStream DecodeMp3(const std::vector<uint8_t>& bytes, bool flushLast = false);

// Accuracy of a decode against a reference, in units of full scale (1.0 = 32768).
struct Accuracy {
    double rms = 0;
    double maxError = 0;
    size_t compared = 0;
};
Accuracy CompareToReference(const std::vector<int16_t>& decoded,
                            const std::vector<int16_t>& reference);

std::vector<int16_t> ReadPcm16(const std::string& path);

}  // namespace sonotrap::test
