#pragma once
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

WavLayout Layout(uint16_t formatTag = 1, uint16_t channels = 1, uint32_t sampleRate = 32000,
             uint16_t bitsPerSample = 16);
WavLayout Sized(WavLayout layout, uint32_t dataSize);
std::vector<uint8_t> MakeWav(const WavLayout& layout, const std::vector<uint8_t>& data);
std::vector<uint8_t> MakePcmWav(uint16_t channels, uint32_t sampleRate, const std::vector<int16_t>& samples);
// One unknown chunk ("junk") whose body is size zero bytes.
std::vector<uint8_t> UnknownChunk(uint32_t size);
std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& samples);
std::vector<int16_t> Sine(double hz, uint32_t rate, uint32_t frames, double amplitude, uint16_t channels = 1);

// Reads a whole file of 16-bit samples out of a reader-like object: every block's real samples.
template <typename Reader>
std::vector<int16_t> ReadAll(Reader& reader, std::vector<uint32_t>* counts = nullptr) {
    std::vector<int16_t> out;
    int16_t block[1152];
    for (;;) {
        const uint32_t n = reader.ReadBlock(block);
        if (counts) counts->push_back(n);
        if (n == 0) break;
        out.insert(out.end(), block, block + n);
    }
    return out;
}

}  // namespace sonotrap::test
