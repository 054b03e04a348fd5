#pragma once
// Whole MP3 streams decoded through the frame index and the decoder, for the decoder's tests
// and the music file reader's. Header-only, so each test executable that links the decoder
// can use it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "mp3dec/Mp3Decoder.h"
#include "mp3dec/Mp3FrameIndex.h"
#include "support/TestSupport.h"

namespace sonotrap::test {

inline std::vector<uint8_t> LoadData(const std::string& name) { return ReadFileBytes(DataPath(name)); }

struct DecodedStream {
    bool indexed = false;
    uint32_t channels = 0, sampleRate = 0, frameCount = 0;
    uint32_t sampleFrames = 0;            // as the index counts them
    std::vector<int16_t> pcm;             // interleaved
    std::vector<uint32_t> bytesPerFrame;  // output bytes of every DecodeFrame call
};

// Frame tables as the index lists them.
struct FrameList {
    std::vector<const uint8_t*> starts;
    std::vector<uint32_t> lengths;
};

inline FrameList ListFrames(const std::vector<uint8_t>& bytes) {
    FrameList list;
    Mp3FrameIndex index;
    if (!index.Run(bytes.data(), bytes.size())) return list;
    list.starts.resize(index.frameCount);
    list.lengths.resize(index.frameCount);
    index.CopyFrameTables(list.starts.data(), list.lengths.data(), index.frameCount);
    return list;
}

// Feeds the given frames to a fresh decoder, one call each (plus a zero-length frame after
// the last with flushLast, so that the last is decoded too), collecting every call's output.
inline DecodedStream DecodeFrames(const FrameList& frames, bool flushLast = false) {
    DecodedStream result;
    const size_t n = frames.starts.size();
    std::vector<const uint8_t*> starts = frames.starts;
    std::vector<uint32_t> lengths = frames.lengths;
    starts.push_back(n ? starts.back() : nullptr);
    lengths.push_back(0);
    std::vector<uint32_t> consumed(n + 1, 0);
    InitDecoderTables();
    Mp3Decoder* decoder = CreateDecoder(starts.data(), lengths.data(), consumed.data());
    int16_t out[kMp3MaxFrameOutputBytes / 2];
    for (size_t i = 0; i < (flushLast ? n + 1 : n); ++i) {
        uint32_t produced = 0;
        DecodeFrame(decoder, static_cast<uint32_t>(i), out, &produced);
        result.bytesPerFrame.push_back(produced);
        result.pcm.insert(result.pcm.end(), out, out + produced / 2);
        if (produced != 0) {
            result.channels = DecoderChannels(decoder);
            result.sampleRate = DecoderSampleRate(decoder);
        }
    }
    DestroyDecoder(decoder);
    result.frameCount = static_cast<uint32_t>(n);
    return result;
}

// Decodes every indexed frame (see DecodeFrames for flushLast).
inline DecodedStream DecodeMp3(const std::vector<uint8_t>& bytes, bool flushLast = false) {
    Mp3FrameIndex index;
    if (!index.Run(bytes.data(), bytes.size())) return {};
    DecodedStream result = DecodeFrames(ListFrames(bytes), flushLast);
    result.indexed = true;
    result.channels = index.channels;
    result.sampleRate = index.sampleRate;
    result.sampleFrames = index.sampleFrames;
    return result;
}

// Accuracy of a decode against a reference made with a synthesis gain of 32768, scaled to
// the decoder's 32767 first; in units of full scale (1.0 = 32768).
struct Accuracy {
    double rms = 0, maxError = 0;
    size_t compared = 0;
};

inline Accuracy CompareToReference(const std::vector<int16_t>& decoded, const std::vector<int16_t>& reference) {
    Accuracy a;
    a.compared = std::min(decoded.size(), reference.size());
    double sum = 0;
    for (size_t i = 0; i < a.compared; ++i) {
        const double d = (decoded[i] - reference[i] * (32767.0 / 32768.0)) / 32768.0;
        sum += d * d;
        a.maxError = std::max(a.maxError, std::fabs(d));
    }
    a.rms = a.compared ? std::sqrt(sum / a.compared) : 0;
    return a;
}

}  // namespace sonotrap::test
