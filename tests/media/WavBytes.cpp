#include "media/WavBytes.h"

#include <cmath>

namespace sonotrap::test {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
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
    Put16(fmt, layout.formatTag);
    Put16(fmt, layout.channels);
    Put32(fmt, layout.sampleRate);
    const uint32_t blockAlign = layout.channels * ((layout.bitsPerSample + 7) / 8);
    Put32(fmt, layout.sampleRate * blockAlign);
    Put16(fmt, blockAlign);
    Put16(fmt, layout.bitsPerSample);
    if (layout.formatTag != 1) {
        Put16(fmt, static_cast<uint32_t>(layout.extraFormatBytes.size()));
        fmt.insert(fmt.end(), layout.extraFormatBytes.begin(), layout.extraFormatBytes.end());
    }
    std::vector<uint8_t> out;
    PutTag(out, "RIFF");
    Put32(out, 0);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    Put32(out, static_cast<uint32_t>(fmt.size()));
    out.insert(out.end(), fmt.begin(), fmt.end());
    out.insert(out.end(), layout.chunksBeforeData.begin(), layout.chunksBeforeData.end());
    PutTag(out, "data");
    Put32(out, layout.dataSizeOverride >= 0 ? static_cast<uint32_t>(layout.dataSizeOverride)
                                          : static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    const uint32_t riffSize = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
    return out;
}

std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    out.reserve(samples.size() * 2);
    for (int16_t s : samples) Put16(out, static_cast<uint16_t>(s));
    return out;
}

std::vector<uint8_t> MakePcmWav(uint16_t channels, uint32_t sampleRate, const std::vector<int16_t>& samples) {
    WavLayout layout;
    layout.channels = channels;
    layout.sampleRate = sampleRate;
    return MakeWav(layout, SampleBytes(samples));
}

std::vector<uint8_t> UnknownChunk(uint32_t size) {
    std::vector<uint8_t> out;
    PutTag(out, "junk");
    Put32(out, size);
    out.resize(out.size() + size, 0);
    return out;
}

std::vector<int16_t> Sine(double hz, uint32_t rate, uint32_t frames, double amplitude, uint16_t channels) {
    std::vector<int16_t> out;
    out.reserve(size_t{frames} * channels);
    for (uint32_t i = 0; i < frames; ++i) {
        const double v = std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * i / rate));
        for (uint16_t c = 0; c < channels; ++c) out.push_back(static_cast<int16_t>(v));
    }
    return out;
}

}  // namespace sonotrap::test
