#include "mp3dec/Mp3DecodeHelpers.h"

#include <cmath>
#include <cstring>

#include "mp3dec/Mp3Decoder.h"
#include "mp3dec/Mp3FrameIndex.h"
#include "support/TestSupport.h"

namespace sonotrap::test {

FrameList ListFrames(const std::vector<uint8_t>& bytes) {
    FrameList list;
    Mp3FrameIndex index;
    if (!index.Run(bytes.data(), bytes.size())) return list;
    list.starts.resize(index.frameCount);
    list.lengths.resize(index.frameCount);
    index.CopyFrameTables(list.starts.data(), list.lengths.data(), index.frameCount);
    return list;
}

DecodedStream DecodeFrames(const FrameList& frames, bool flushLast) {
    DecodedStream result;
    const size_t n = frames.starts.size();
    std::vector<const uint8_t*> starts = frames.starts;
    std::vector<uint32_t> lengths = frames.lengths;
    starts.push_back(n ? starts.back() : nullptr);  // a zero-length frame for flushing
    lengths.push_back(0);
    std::vector<uint32_t> consumed(n + 1, 0);
    InitDecoderTables();
    Mp3Decoder* decoder = CreateDecoder(starts.data(), lengths.data(), consumed.data());
    int16_t out[kMp3MaxFrameOutputBytes / 2];
    const size_t calls = flushLast ? n + 1 : n;
    for (size_t i = 0; i < calls; ++i) {
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

DecodedStream DecodeMp3(const std::vector<uint8_t>& bytes, bool flushLast) {
    Mp3FrameIndex index;
    if (!index.Run(bytes.data(), bytes.size())) return {};
    DecodedStream result = DecodeFrames(ListFrames(bytes), flushLast);
    result.indexed = true;
    result.channels = index.channels;
    result.sampleRate = index.sampleRate;
    result.sampleFrames = index.sampleFrames;
    return result;
}

Accuracy CompareToReference(const std::vector<int16_t>& decoded,
                            const std::vector<int16_t>& reference) {
    Accuracy a;
    a.compared = std::min(decoded.size(), reference.size());
    double sum = 0;
    for (size_t i = 0; i < a.compared; ++i) {
        const double d = (decoded[i] - reference[i]) / 32768.0;
        sum += d * d;
        a.maxError = std::max(a.maxError, std::fabs(d));
    }
    a.rms = a.compared ? std::sqrt(sum / a.compared) : 0;
    return a;
}

std::vector<int16_t> ReadPcm16(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::vector<int16_t> pcm(bytes.size() / 2);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return pcm;
}

}  // namespace sonotrap::test
