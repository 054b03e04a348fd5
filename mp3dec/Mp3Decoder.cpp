#include "mp3dec/Mp3Decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "mp3dec/BitReservoir.h"
#include "mp3dec/DecoderTables.h"
#include "mp3dec/HybridSynthesis.h"
#include "mp3dec/Layer3Granule.h"
#include "mp3dec/Mp3HeaderTables.h"
#include "mp3dec/PolyphaseSynthesis.h"
#include "mp3dec/SideInfo.h"

namespace sonotrap {

using mp3::BitReservoir;

struct Mp3Decoder {
    // Frame queue over the caller's tables.
    const uint8_t* const* frameStart;
    const uint32_t* frameLength;
    uint32_t* frameConsumed;
    int64_t queueHead;
    int64_t queueTail;
    int64_t queuedBytes;
    // Frame progress.
    bool headerParsed, sideParsed, dataParsed;
    int32_t payloadLength, sideInfoLength, mainDataLength, previousPayloadLength;
    int32_t surplusLength;  // bytes the frame table counts beyond the header's frame length
    uint32_t header;
    int reservoirHalf;
    uint32_t reservoirBytes;  // main-data bytes that end the previous half (reachable backwards)
    uint32_t copiedBytes;     // of them, those put in front of this frame's main data
    bool decodable;
    // Decoded header.
    uint32_t channels, lsf, layer, errorProtection, bitrateIndex, samplingFrequency, padding,
        extension, mode, modeExtension, copyright, original, emphasis;
    int channelSelect;
    mp3::SideInfo side;
    BitReservoir* reservoir;
    // Working buffers.
    mp3::ChannelGranule channel[2];
    alignas(32) double overlap[2][576];  // vectors of four subbands never straddle a cache line
    alignas(32) double subbandSamples[2][18][32];
    mp3::SynthesisState synthesis[2];
};

namespace {

void ClearState(Mp3Decoder* d) {
    const uint8_t* const* starts = d->frameStart;
    const uint32_t* lengths = d->frameLength;
    uint32_t* consumed = d->frameConsumed;
    BitReservoir* reservoir = d->reservoir;
    std::memset(static_cast<void*>(d), 0, sizeof *d);
    d->frameStart = starts;
    d->frameLength = lengths;
    d->frameConsumed = consumed;
    d->reservoir = reservoir;
    d->queueHead = d->queueTail = -1;
    d->previousPayloadLength = -1;
    d->channelSelect = -1;
    for (auto& s : d->synthesis) mp3::ClearSynthesis(s);
    if (reservoir) {
        std::memset(reservoir->buffer, 0, BitReservoir::kBufferBytes);
        reservoir->bytePosition = BitReservoir::kMargin;
        reservoir->bitIndex = 0;
    }
}

void Feed(Mp3Decoder* d, uint32_t i) {
    if (d->queueHead == -1) d->queueHead = i;
    d->queuedBytes += d->frameLength[i];
    d->queueTail = i;
}

// Takes n bytes from the queue; stores those that fit below `limit` at dst (or drops them).
uint32_t Take(Mp3Decoder* d, uint8_t* dst, uint32_t n, uint32_t room) {
    uint32_t taken = 0;
    while (taken < n && d->queueHead != -1) {
        const int64_t head = d->queueHead;
        const uint32_t length = d->frameLength[head];
        uint32_t& consumed = d->frameConsumed[head];
        if (consumed >= length) {
            if (head >= d->queueTail) {
                d->queueHead = d->queueTail = -1;
                break;
            }
            ++d->queueHead;
            continue;
        }
        const uint32_t count = std::min(n - taken, length - consumed);
        if (dst != nullptr && taken < room)
            std::memcpy(dst + taken, d->frameStart[head] + consumed, std::min(count, room - taken));
        consumed += count;
        d->queuedBytes -= count;
        taken += count;
    }
    return taken;
}

// Copies n queued bytes into the current reservoir half at `position`, never past the half.
void TakeIntoReservoir(Mp3Decoder* d, uint32_t position, uint32_t n) {
    const uint32_t halfEnd = (d->reservoirHalf + 1) * BitReservoir::kHalfBytes;
    const uint32_t room = position < halfEnd ? halfEnd - position : 0;
    Take(d, d->reservoir->buffer + position, n, room);
}

void DecodeHeader(Mp3Decoder* d, uint32_t word) {
    d->header = word;
    d->lsf = (word >> 20) & 1 ? !((word >> 19) & 1) : 1;
    d->layer = 4 - ((word >> 17) & 3);
    d->errorProtection = !((word >> 16) & 1);
    const uint32_t samplingIndex = (word >> 10) & 3;
    d->decodable = d->layer == 3 && samplingIndex != 3;
    if (samplingIndex == 3) return;
    d->bitrateIndex = (word >> 12) & 15;
    d->samplingFrequency = samplingIndex + 3 * d->lsf;
    d->padding = (word >> 9) & 1;
    d->extension = (word >> 8) & 1;
    d->mode = (word >> 6) & 3;
    d->modeExtension = (word >> 4) & 3;
    d->copyright = (word >> 3) & 1;
    d->original = (word >> 2) & 1;
    d->emphasis = word & 3;
    d->channels = d->mode == 3 ? 1 : 2;
}

// The first four bytes of a frame as a big-endian word (missing bytes read as zero).
uint32_t TableHeader(const Mp3Decoder* d, uint32_t frame) {
    const uint32_t n = std::min<uint32_t>(4, d->frameLength[frame]);
    uint32_t word = 0;
    for (uint32_t i = 0; i < 4; ++i) word = (word << 8) | (i < n ? d->frameStart[frame][i] : 0);
    return word;
}

bool ParseHeader(Mp3Decoder* d, uint32_t frameIndex) {
    uint8_t bytes[4] = {};
    Take(d, bytes, 4, 4);
    uint32_t word = (uint32_t(bytes[0]) << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
    uint32_t frame = frameIndex;
    if (d->previousPayloadLength != -1 && frameIndex > 0) {
        frame = frameIndex - 1;  // the frame being decoded is the one fed last time
        word = TableHeader(d, frame);
    }
    DecodeHeader(d, word);
    d->headerParsed = true;
    // Bytes skipped between this frame and the one before (damage passed over by the frame
    // index) break the reservoir: nothing before this frame can be referred to.
    if (frame > 0 && d->frameStart[frame] != d->frameStart[frame - 1] + d->frameLength[frame - 1])
        d->reservoirBytes = 0;
    d->mainDataLength = 0;
    d->copiedBytes = 0;
    // Only the header's own frame length feeds the reservoir: bytes that the index added in
    // front of the next frame (a stray byte) are dropped. A frame shorter than its header
    // says lost bytes somewhere inside: it is not decoded, and nothing after it may reach
    // back into it.
    const uint32_t tableLength = d->frameLength[frame];
    uint32_t length = tableLength;
    const uint32_t kbps = d->decodable ? mp3::kBitrateKbps[d->lsf][d->bitrateIndex] : 0;
    if (kbps != 0) {
        length = mp3::FrameLengthBytes(kbps, mp3::kSampleRateHz[d->lsf][d->samplingFrequency % 3],
                                       d->lsf != 0, d->padding);
        if (tableLength < length) d->decodable = false;
        length = std::min(length, tableLength);
    }
    d->surplusLength = static_cast<int32_t>(tableLength - length);
    d->payloadLength = std::max<int32_t>(0, static_cast<int32_t>(length) - 4);
    d->sideInfoLength = d->lsf ? (d->channels == 1 ? 9 : 17) : (d->channels == 1 ? 17 : 32);
    if (d->errorProtection) d->sideInfoLength += 2;
    if (!d->decodable) d->sideInfoLength = 0;
    d->reservoirHalf ^= 1;
    d->reservoir->bytePosition = BitReservoir::WriteStart(d->reservoirHalf);
    d->reservoir->bitIndex = 0;
    return d->previousPayloadLength != -1;
}

void ParseSide(Mp3Decoder* d) {
    BitReservoir& r = *d->reservoir;
    TakeIntoReservoir(d, r.bytePosition, d->sideInfoLength);
    mp3::BitCursor cursor{r.buffer, r.bytePosition * 8};
    if (d->errorProtection) cursor.Skip(16);  // the CRC is not checked
    const mp3::FrameShape shape{d->lsf, d->channels, d->samplingFrequency,
                                d->mode == 1 && (d->modeExtension & 2) != 0};
    mp3::ParseSideInfo(cursor, shape, d->side);
    int64_t bits = -8 * static_cast<int64_t>(d->side.main_data_begin);
    const uint32_t granules = d->lsf ? 1 : 2;
    for (uint32_t gr = 0; gr < granules; ++gr)
        for (uint32_t ch = 0; ch < d->channels; ++ch) bits += d->side.granule[gr][ch].part2_3_length;
    const int64_t bytes = bits < 0 ? 0 : (bits + 7) / 8;
    const int64_t available = std::max<int64_t>(0, d->payloadLength - d->sideInfoLength);
    d->mainDataLength = static_cast<int32_t>(std::min(bytes, available));
    d->sideParsed = true;
}

void SynthesizeGranule(Mp3Decoder* d, int16_t* out) {
    if (d->channels == 1) return mp3::SynthesizeSlots(d->synthesis[0], d->subbandSamples[0], 18, out, 1);
    const double (*subbands[2])[32] = {d->subbandSamples[0], d->subbandSamples[1]};
    mp3::SynthesizeStereoSlots(d->synthesis, subbands, 18, out);
}

void DecodeGranules(Mp3Decoder* d, int16_t* output, uint32_t* outputBytes) {
    BitReservoir& r = *d->reservoir;
    const uint32_t mainStart = BitReservoir::WriteStart(d->reservoirHalf) + d->sideInfoLength;
    const uint32_t begin = d->side.main_data_begin;
    const bool prior = d->previousPayloadLength != -1;
    const uint32_t available = prior ? d->reservoirBytes : 0;
    d->copiedBytes = std::min(begin, available);
    if (d->copiedBytes > 0) {
        const uint32_t previousEnd = BitReservoir::WriteStart(d->reservoirHalf ^ 1) +
                                     static_cast<uint32_t>(d->previousPayloadLength);
        std::memcpy(r.buffer + mainStart - d->copiedBytes, r.buffer + previousEnd - d->copiedBytes,
                    d->copiedBytes);
    }
    if (begin > available) return;  // refers to data never seen: no samples

    const mp3::FrameShape shape{d->lsf, d->channels, d->samplingFrequency,
                                d->mode == 1 && (d->modeExtension & 2) != 0};
    const bool stereo = d->channels == 2 && d->mode == 1 && d->modeExtension != 0;
    const int sf = static_cast<int>(d->samplingFrequency);
    const bool intensity = d->mode == 1 && (d->modeExtension & 1) != 0;
    uint32_t bitPosition = (mainStart - begin) * 8;
    const uint32_t granules = d->lsf ? 1 : 2;
    for (uint32_t gr = 0; gr < granules; ++gr) {
        for (uint32_t ch = 0; ch < d->channels; ++ch) {
            mp3::GranuleInfo& g = d->side.granule[gr][ch];
            const uint32_t end = bitPosition + g.part2_3_length;
            mp3::BitCursor cursor{r.buffer, bitPosition};
            if (d->lsf)
                mp3::ReadScaleFactorsMpeg2(cursor, g, intensity && ch == 1, d->channel[ch]);
            else
                mp3::ReadScaleFactorsMpeg1(cursor, g, d->side.scfsi[ch], gr, d->channel[ch]);
            if (!mp3::Dequantise(cursor, end, g, sf, d->channel[ch])) return;  // overrun
            bitPosition = end;
        }
        if (stereo)
            mp3::ProcessStereo(d->channel[0], d->channel[1], d->side.granule[gr][1], shape,
                               d->modeExtension);
        for (uint32_t ch = 0; ch < d->channels; ++ch) {
            const mp3::GranuleInfo& g = d->side.granule[gr][ch];
            const uint32_t used = mp3::Antialias(d->channel[ch], g, sf);
            mp3::HybridSynthesis(d->channel[ch], g, sf, used, d->overlap[ch], d->subbandSamples[ch]);
        }
        SynthesizeGranule(d, output + *outputBytes / 2);
        *outputBytes += 18 * 32 * 2 * d->channels;
    }
}

void ForgetFilterHistory(Mp3Decoder* d) {
    std::memset(d->overlap, 0, sizeof d->overlap);
    for (auto& s : d->synthesis) mp3::ClearSynthesis(s);
}

void FinishFrame(Mp3Decoder* d) {
    const int32_t mainBytes = d->payloadLength - d->sideInfoLength;
    const bool fits = d->payloadLength <= static_cast<int32_t>(BitReservoir::kPayloadRoom);
    d->reservoirBytes = d->decodable && fits && mainBytes > 0
                            ? d->copiedBytes + static_cast<uint32_t>(mainBytes)
                            : 0;
    d->previousPayloadLength = d->payloadLength;
    d->payloadLength = 0;
    d->headerParsed = d->sideParsed = d->dataParsed = false;
}

}  // namespace

Mp3Decoder* CreateDecoder(const uint8_t* const* frameStart, const uint32_t* frameLength,
                          uint32_t* frameConsumed) {
    mp3::Tables();
    auto* d = new (std::nothrow) Mp3Decoder;
    if (d == nullptr) return nullptr;
    auto* reservoir = new (std::nothrow) BitReservoir;
    uint8_t* buffer = new (std::nothrow) uint8_t[BitReservoir::kBufferBytes];
    if (reservoir == nullptr || buffer == nullptr) {
        delete reservoir;
        delete[] buffer;
        delete d;
        return nullptr;
    }
    reservoir->buffer = buffer;
    d->frameStart = frameStart;
    d->frameLength = frameLength;
    d->frameConsumed = frameConsumed;
    d->reservoir = reservoir;
    ClearState(d);
    return d;
}

void ResetDecoder(Mp3Decoder* d) {
    if (d != nullptr) ClearState(d);
}

void DestroyDecoder(Mp3Decoder* d) {
    if (d == nullptr) return;
    if (d->reservoir) delete[] d->reservoir->buffer;
    delete d->reservoir;
    delete d;
}

int DecodeFrame(Mp3Decoder* d, uint32_t frameIndex, int16_t* output, uint32_t* outputBytes) {
    *outputBytes = 0;
    // Frames come in increasing order; one already fed is ignored.
    if (d->queueTail != -1 && static_cast<int64_t>(frameIndex) <= d->queueTail) return 1;
    Feed(d, frameIndex);
    if (!d->headerParsed && !ParseHeader(d, frameIndex)) return 1;
    if (!d->sideParsed && d->decodable) {
        if (d->queuedBytes < d->sideInfoLength) return 1;
        ParseSide(d);
    }
    int result = 1;
    if (!d->dataParsed) {
        if (d->mainDataLength > d->queuedBytes) return 1;
        BitReservoir& r = *d->reservoir;
        TakeIntoReservoir(d, r.bytePosition + d->sideInfoLength, d->mainDataLength);
        if (d->decodable) DecodeGranules(d, output, outputBytes);
        // After frames that yielded nothing, the filters start afresh rather than finish a
        // sound that was cut off.
        if (*outputBytes == 0) ForgetFilterHistory(d);
        r.bytePosition = BitReservoir::WriteStart(d->reservoirHalf) + d->sideInfoLength +
                         d->mainDataLength;
        d->dataParsed = true;
        result = 0;
    }
    const int32_t rest = d->payloadLength - d->mainDataLength - d->sideInfoLength;
    if (rest + d->surplusLength > d->queuedBytes) return result;
    if (rest > 0) {
        BitReservoir& r = *d->reservoir;
        TakeIntoReservoir(d, r.bytePosition, rest);
        r.bytePosition += rest;
    }
    Take(d, nullptr, static_cast<uint32_t>(d->surplusLength), 0);
    FinishFrame(d);
    return result;
}

uint32_t DecoderChannels(const Mp3Decoder* d) { return d->header ? d->channels : 0; }

uint32_t DecoderSampleRate(const Mp3Decoder* d) {
    if (d->header == 0) return 0;
    return mp3::kSampleRateHz[d->samplingFrequency >= 3][d->samplingFrequency % 3];
}

}  // namespace sonotrap
