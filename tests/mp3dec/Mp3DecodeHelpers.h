#pragma once
// Whole MP3 streams decoded through the frame index and the decoder, for the decoder's tests
// and the music file reader's.
#include <cstdint>
#include <vector>

#include "mp3dec/Mp3Decoder.h"
#include "mp3dec/Mp3FrameIndex.h"
#include "support/TestSupport.h"

namespace sonotrap::test {

struct DecodedStream {
    bool indexed = false;
    uint32_t channels = 0, sampleRate = 0, frameCount = 0;
    std::vector<int16_t> pcm;             // interleaved
    std::vector<uint32_t> bytesPerFrame;  // output bytes of every DecodeFrame call
};

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

// Feeds the frames to a fresh decoder, one call each (and with flushLast a zero-length frame,
// so that the last is decoded too), collecting every call's output.
inline DecodedStream DecodeFrames(FrameList frames, bool flushLast = false) {
    DecodedStream result;
    const size_t n = frames.starts.size();
    frames.starts.push_back(n ? frames.starts.back() : nullptr);
    frames.lengths.push_back(0);
    std::vector<uint32_t> consumed(n + 1, 0);
    InitDecoderTables();
    Mp3Decoder* decoder = CreateDecoder(frames.starts.data(), frames.lengths.data(), consumed.data());
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

inline DecodedStream DecodeMp3(const std::vector<uint8_t>& bytes, bool flushLast = false) {
    const FrameList frames = ListFrames(bytes);
    if (frames.starts.empty()) return {};
    DecodedStream result = DecodeFrames(frames, flushLast);
    result.indexed = true;
    return result;
}

}  // namespace sonotrap::test
