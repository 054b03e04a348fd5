#include "DecodedFrames.h"

#include <cmath>
#include <cstring>

#include "mp3dec/Layer3Granule.h"
#include "mp3dec/Mp3Decoder.h"
#include "mp3dec/Mp3FrameIndex.h"

namespace sonotrap::enctest {

bool DecodeFrameLines(const uint8_t* frame, size_t size, DecodedFrame& out) {
    InitDecoderTables();
    std::vector<uint8_t> bytes(frame, frame + size);
    // Room for the cursor to run past the end: peeks, and a broken frame's overrun.
    bytes.resize(size + 2048, 0);
    out.header = (uint32_t{bytes[0]} << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    if ((out.header & 0xFFFE0000u) != 0xFFFA0000u) return false;  // MPEG-1 Layer III
    const uint32_t channels = ((out.header >> 6) & 3) == 3 ? 1 : 2;
    const auto sf = static_cast<int>((out.header >> 10) & 3);
    mp3::BitCursor cursor{bytes.data(), 32};
    mp3::ParseSideInfo(cursor, {0, channels, static_cast<uint32_t>(sf), false}, out.side);
    for (int gr = 0; gr < 2; ++gr) {
        for (uint32_t ch = 0; ch < channels; ++ch) {
            const mp3::GranuleInfo& g = out.side.granule[gr][ch];
            const uint32_t end = cursor.position + g.part2_3_length;
            mp3::ChannelGranule lines{};
            mp3::ReadScaleFactorsMpeg1(cursor, g, out.side.scfsi[ch], gr, lines);
            DecodedGranule& d = out.granules[gr][ch];
            d.cleanEnd = mp3::Dequantise(cursor, end, g, sf, lines) && cursor.position <= end;
            const double step = std::pow(2.0, 0.25 * (out.GlobalGain(gr, static_cast<int>(ch)) - 210));
            for (int i = 0; i < 576; ++i) {
                const double q = std::pow(std::fabs(lines.xr[i]) / step, 0.75);
                d.values[i] = static_cast<int>(std::lround(lines.xr[i] < 0 ? -q : q));
            }
            cursor.position = end;
        }
    }
    return true;
}

std::vector<DecodedFrame> DecodeStreamLines(const std::vector<uint8_t>& bytes, size_t frameBytes) {
    std::vector<DecodedFrame> frames;
    for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
        frames.emplace_back();
        if (!DecodeFrameLines(bytes.data() + at, frameBytes, frames.back())) frames.pop_back();
    }
    return frames;
}

std::vector<int16_t> DecodePcm(const std::vector<uint8_t>& bytes) {
    InitDecoderTables();
    Mp3FrameIndex index;
    std::vector<int16_t> pcm;
    if (!index.Run(bytes.data(), bytes.size())) return pcm;
    const uint32_t n = index.frameCount;
    std::vector<const uint8_t*> starts(n);
    std::vector<uint32_t> lengths(n), consumed(n, 0);
    index.CopyFrameTables(starts.data(), lengths.data(), n);
    Mp3Decoder* decoder = CreateDecoder(starts.data(), lengths.data(), consumed.data());
    int16_t out[kMp3MaxFrameOutputBytes / 2];
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t outBytes = 0;
        if (DecodeFrame(decoder, i, out, &outBytes) == 0) pcm.insert(pcm.end(), out, out + outBytes / 2);
    }
    DestroyDecoder(decoder);
    return pcm;
}

}  // namespace sonotrap::enctest
