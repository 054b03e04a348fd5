#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

// Builds RIFF/WAVE files in memory for the reader tests.
namespace sonotrap::test {

struct WavLayout {
    uint16_t formatTag = 1;
    uint16_t channels = 1;
    uint32_t sampleRate = 32000;
    uint16_t bitsPerSample = 16;
    std::vector<uint8_t> extraFormatBytes;  // written after a size word when the tag is not 1
    std::vector<uint8_t> chunksBeforeData;  // raw bytes between "fmt " and "data"
    int64_t dataSizeOverride = -1;          // the "data" size word, when not the real size
};

inline WavLayout Layout(uint16_t formatTag = 1, uint16_t channels = 1, uint32_t sampleRate = 32000,
                        uint16_t bitsPerSample = 16) {
    return WavLayout{formatTag, channels, sampleRate, bitsPerSample, {}, {}, -1};
}

inline WavLayout Sized(WavLayout layout, uint32_t dataSize) {
    layout.dataSizeOverride = dataSize;
    return layout;
}

// Appends v as `bytes` little-endian bytes, or a four-character tag.
inline void PutLittleEndian(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(tag[i]));
}

inline std::vector<uint8_t> MakeWav(const WavLayout& layout, const std::vector<uint8_t>& data) {
    const uint32_t blockAlign = layout.channels * ((layout.bitsPerSample + 7) / 8);
    const bool extra = layout.formatTag != 1;
    std::vector<uint8_t> out;
    PutTag(out, "RIFF");
    PutLittleEndian(out, 0, 4);  // set at the end
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    PutLittleEndian(out, 16 + (extra ? 2 + static_cast<uint32_t>(layout.extraFormatBytes.size()) : 0), 4);
    for (auto [value, bytes] : {std::pair<uint32_t, int>{layout.formatTag, 2}, {layout.channels, 2}, {layout.sampleRate, 4},
                                {layout.sampleRate * blockAlign, 4}, {blockAlign, 2}, {layout.bitsPerSample, 2}})
        PutLittleEndian(out, value, bytes);
    if (extra) {
        PutLittleEndian(out, static_cast<uint32_t>(layout.extraFormatBytes.size()), 2);
        out.insert(out.end(), layout.extraFormatBytes.begin(), layout.extraFormatBytes.end());
    }
    out.insert(out.end(), layout.chunksBeforeData.begin(), layout.chunksBeforeData.end());
    PutTag(out, "data");
    PutLittleEndian(out, static_cast<uint32_t>(layout.dataSizeOverride >= 0 ? layout.dataSizeOverride : int64_t(data.size())), 4);
    out.insert(out.end(), data.begin(), data.end());
    const uint32_t riffSize = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
    return out;
}

inline std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples) {
    std::vector<uint8_t> out;
    for (int16_t s : samples) PutLittleEndian(out, static_cast<uint16_t>(s), 2);
    return out;
}

inline std::vector<uint8_t> MakePcmWav(uint16_t channels, uint32_t sampleRate, const std::vector<int16_t>& samples) {
    return MakeWav(Layout(1, channels, sampleRate), SampleBytes(samples));
}

// One unknown chunk ("junk") whose body is size zero bytes.
inline std::vector<uint8_t> UnknownChunk(uint32_t size) {
    std::vector<uint8_t> out;
    PutTag(out, "junk");
    PutLittleEndian(out, size, 4);
    out.resize(out.size() + size, 0);
    return out;
}

inline std::vector<int16_t> Sine(double hz, uint32_t rate, uint32_t frames, double amplitude, uint16_t channels = 1) {
    std::vector<int16_t> out;
    for (uint32_t i = 0; i < frames; ++i)
        out.insert(out.end(), channels, static_cast<int16_t>(std::lround(amplitude * 32767.0 * std::sin(2.0 * M_PI * hz * i / rate))));
    return out;
}

// Reads a whole file of 16-bit samples out of a reader-like object: every block's real samples.
template <typename Reader>
std::vector<int16_t> ReadAll(Reader& reader, std::vector<uint32_t>* counts = nullptr) {
    std::vector<int16_t> out;
    int16_t block[1152];
    for (uint32_t n = 1; n != 0;) {
        n = reader.ReadBlock(block);
        if (counts) counts->push_back(n);
        out.insert(out.end(), block, block + n);
    }
    return out;
}

}  // namespace sonotrap::test
