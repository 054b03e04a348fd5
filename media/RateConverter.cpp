#include "media/RateConverter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "media/Mp3StreamReader.h"
#include "media/PcmBytes.h"
#include "media/WavDataReader.h"

namespace sonotrap {

namespace {

constexpr double kMonoScale = 3.0517578125e-5;     // 1 / 32768
constexpr double kStereoScale = 1.52587890625e-5;  // 1 / 65536: the mean of a pair, same range
constexpr double kPi = 3.14159265359;
constexpr double kFullScale = 32767.0;
// One decode may write a whole stereo MPEG-1 frame wherever it lands, so the buffer holds two
// whatever the channel count.
constexpr uint32_t kOwnBufferSamples = 2 * (kMp3MaxFrameOutputBytes / sizeof(int16_t));

// Clamped to -32767..32767 and truncated toward zero, so -32768 never appears.
int16_t ClampTruncate(double v) {
    const double x = std::clamp(v * kFullScale, -kFullScale, kFullScale);
    return static_cast<int16_t>(x);
}

}  // namespace

uint32_t ScaledSampleCount(uint32_t frames, double ratio) {
    const double count = std::floor(static_cast<double>(frames) * ratio);
    if (!(count >= 0.0)) return 0;
    if (count >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(count);
}

std::unique_ptr<RateConverter> RateConverter::Create(WavDataReader* wavSource, Mp3StreamReader* mp3Source,
                                                     const AudioFormat& format, double ratioOutIn,
                                                     double ratioInOut) {
    if ((wavSource == nullptr) == (mp3Source == nullptr) || format.channels == 0) return nullptr;
    std::unique_ptr<RateConverter> converter(new (std::nothrow) RateConverter);
    if (!converter) return nullptr;
    converter->wavSource = wavSource;
    converter->mp3Source = mp3Source;
    converter->format = format;
    converter->ratioOutIn = ratioOutIn;
    converter->step = ratioInOut;
    if (!converter->Prime()) return nullptr;
    return converter;
}

void RateConverter::Rewind() { Prime(); }

bool RateConverter::Prime() {
    position = 0.0;
    outputCount = 0;
    bufferIndex = 0;
    bufferBase = 0;
    historyLength = 3 * format.channels;
    outputTotal = ScaledSampleCount(format.sampleFrames, ratioOutIn);
    uint64_t available = 0;
    if (wavSource != nullptr) {
        samples = wavSource->DataStart();
        available = uint64_t{format.sampleFrames} * format.channels;
    } else {
        if (!PrimeMp3()) return false;
        available = bufferLimit;
    }
    if (available < historyLength) {
        // Fewer than three input frames: nothing to interpolate between.
        bufferLimit = 0;
        outputCount = outputTotal;
        return true;
    }
    bufferLimit = static_cast<uint32_t>(available - historyLength);
    return true;
}

// Leaves the count of decoded samples in bufferLimit for Prime to finish.
bool RateConverter::PrimeMp3() {
    mp3Source->Rewind();
    if (!ownBuffer) {
        ownBuffer.reset(new (std::nothrow) int16_t[kOwnBufferSamples]);
        if (!ownBuffer) return false;
    }
    std::fill(ownBuffer.get(), ownBuffer.get() + kOwnBufferSamples, int16_t{0});
    samples = nullptr;
    const uint32_t first = mp3Source->DecodeNextFrame(ownBuffer.get()) / 2;
    const uint32_t second = mp3Source->DecodeNextFrame(ownBuffer.get() + first) / 2;
    const uint32_t decoded = first + second;
    bufferLimit = decoded - decoded % format.channels;
    return true;
}

// Moves the three kept frames to the front and decodes behind them until the current frame lies
// inside the buffer. False when the source has run dry.
bool RateConverter::Refill(uint64_t& index) {
    if (mp3Source == nullptr) return false;
    while (index > bufferLimit) {
        int16_t* buffer = ownBuffer.get();
        std::memmove(buffer, buffer + bufferLimit, historyLength * sizeof(int16_t));
        index -= bufferLimit;
        bufferBase += bufferLimit;
        const uint32_t decoded = mp3Source->DecodeNextFrame(buffer + historyLength) / 2;
        // Whole frames only, so that a pair never straddles the boundary.
        bufferLimit = decoded - decoded % format.channels;
        if (bufferLimit == 0) return false;
    }
    return true;
}

int RateConverter::Sample(uint64_t index) const {
    if (samples != nullptr) return LoadPcm16(samples + 2 * index);
    return ownBuffer[index];
}

double RateConverter::Value(uint64_t index) const {
    if (format.channels == 1) return Sample(index) * kMonoScale;
    return (Sample(index) + Sample(index + 1)) * kStereoScale;
}

int16_t RateConverter::ExactFrame(uint64_t index) const {
    if (format.channels == 1) return static_cast<int16_t>(Sample(index));
    return static_cast<int16_t>((Sample(index) + Sample(index + 1)) / 2);
}

int16_t RateConverter::StartSample(uint64_t index, double mu) const {
    const double mu2 = (1.0 - std::cos(mu * kPi)) * 0.5;
    const double v = Value(index) * (1.0 - mu2) + Value(index + format.channels) * mu2;
    if (format.channels == 1) return static_cast<int16_t>(std::floor(v * kFullScale));
    return ClampTruncate(v);
}

int16_t RateConverter::CubicSample(uint64_t index, double mu) const {
    const uint32_t c = format.channels;
    const double y0 = Value(index - c);
    const double y1 = Value(index);
    const double y2 = Value(index + c);
    const double y3 = Value(index + 2 * c);
    const double a0 = y3 - y2 - y0 + y1;
    const double a1 = y0 - y1 - a0;
    const double a2 = y2 - y0;
    const double a3 = y1;
    return ClampTruncate(((a0 * mu + a1) * mu + a2) * mu + a3);
}

uint32_t RateConverter::EndStream(int16_t* block, uint32_t written) {
    std::fill(block + written, block + kMusicBlockSamples, int16_t{0});
    outputCount = outputTotal;
    return written;
}

uint32_t RateConverter::ReadBlock(int16_t* block) {
    if (outputCount == outputTotal) return 0;
    if (outputCount > outputTotal) return EndStream(block, 0);
    uint32_t written = 0;
    if (outputCount == 0) {
        block[written++] = ExactFrame(0);
        outputCount = 1;
        position = step;
    }
    while (written < kMusicBlockSamples && outputCount < outputTotal) {
        const double k = std::floor(position);
        const double mu = position - k;
        uint64_t index = uint64_t{format.channels} * static_cast<uint64_t>(k) - bufferBase;
        int16_t sample;
        if (k < 2.0) {
            // The first two input frames have no frame before them: raised cosine. This holds
            // for every block, as a very low source rate spends more than a block there.
            sample = mu == 0.0 ? ExactFrame(index) : StartSample(index, mu);
        } else {
            if (index > bufferLimit && !Refill(index)) return EndStream(block, written);
            bufferIndex = static_cast<uint32_t>(index);
            sample = mu == 0.0 ? ExactFrame(index) : CubicSample(index, mu);
        }
        block[written++] = sample;
        position += step;
        ++outputCount;
    }
    std::fill(block + written, block + kMusicBlockSamples, int16_t{0});
    return written;
}

}  // namespace sonotrap
