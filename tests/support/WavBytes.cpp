#include "support/WavBytes.h"

#include <cmath>

namespace sonotrap::test {

namespace {

void Put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

}  // namespace

WavLayout Layout(uint16_t formatTag, uint16_t channels, uint32_t sampleRate, uint16_t bitsPerSample) {
    WavLayout layout;
    layout.formatTag = formatTag;
    layout.channels = channels;
    layout.sampleRate = sampleRate;
    layout.bitsPerSample = bitsPerSample;
    return layout;
}

WavLayout Sized(WavLayout layout, uint32_t dataSize) {
    layout.dataSizeOverride = dataSize;
    return layout;
}

std::vector<uint8_t> MakeWav(const WavLayout& layout, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> fmt;
    const uint32_t blockAlign = layout.channels * ((layout.bitsPerSample + 7) / 8);
    Put(fmt, layout.formatTag, 2);
    Put(fmt, layout.channels, 2);
    Put(fmt, layout.sampleRate, 4);
    Put(fmt, layout.sampleRate * blockAlign, 4);
    Put(fmt, blockAlign, 2);
    Put(fmt, layout.bitsPerSample, 2);
    if (layout.formatTag != 1) {
        Put(fmt, static_cast<uint32_t>(layout.extraFormatBytes.size()), 2);
        fmt.insert(fmt.end(), layout.extraFormatBytes.begin(), layout.extraFormatBytes.end());
    }
    std::vector<uint8_t> out;
    PutTag(out, "RIFF");
    Put(out, 0, 4);  // set at the end
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put(out, static_cast<uint32_t>(fmt.size()), 4);
    out.insert(out.end(), fmt.begin(), fmt.end());
    out.insert(out.end(), layout.chunksBeforeData.begin(), layout.chunksBeforeData.end());
    PutTag(out, "data");
    Put(out, static_cast<uint32_t>(layout.dataSizeOverride >= 0 ? layout.dataSizeOverride : int64_t(data.size())), 4);
    out.insert(out.end(), data.begin(), data.end());
    const uint32_t riffSize = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
    return out;
}

std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) Put(out, static_cast<uint16_t>(s), 2);
    return out;
}

std::vector<uint8_t> MakePcmWav(uint16_t channels, uint32_t sampleRate, const std::vector<int16_t>& samples) {
    return MakeWav(Layout(1, channels, sampleRate), SampleBytes(samples));
}

std::vector<uint8_t> UnknownChunk(uint32_t size) {
    std::vector<uint8_t> out;
    PutTag(out, "junk");
    Put(out, size, 4);
    out.resize(out.size() + size, 0);
    return out;
}

std::vector<int16_t> Sine(double hz, uint32_t rate, uint32_t frames, double amplitude, uint16_t channels) {
    std::vector<int16_t> out;
    for (uint32_t i = 0; i < frames; ++i) {
        const double v = std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * i / rate));
        out.insert(out.end(), channels, static_cast<int16_t>(v));
    }
    return out;
}

}  // namespace sonotrap::test
