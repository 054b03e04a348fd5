#include "tools/ToolInput.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace sonotrap::tool {

namespace {

uint32_t ReadLe32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

struct WavData {
    uint16_t formatTag = 0, channels = 0, bitsPerSample = 0;
    uint32_t sampleRate = 0;
    bool haveFormat = false;
    const uint8_t* data = nullptr;
    size_t dataBytes = 0;
};

// Walks the RIFF chunks; a data chunk longer than the file is cut to what is there.
bool ParseWav(const std::vector<uint8_t>& bytes, WavData* wav, std::string* error) {
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
        *error = "not a WAV file";
        return false;
    }
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const uint8_t* chunk = bytes.data() + pos;
        const size_t size = ReadLe32(chunk + 4);
        const size_t available = bytes.size() - pos - 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || available < 16) break;
            wav->formatTag = ReadLe16(chunk + 8);
            wav->channels = ReadLe16(chunk + 10);
            wav->sampleRate = ReadLe32(chunk + 12);
            wav->bitsPerSample = ReadLe16(chunk + 22);
            wav->haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            wav->data = chunk + 8;
            wav->dataBytes = size < available ? size : available;
            break;
        }
        if (size > available) break;
        pos += 8 + size + (size & 1);
    }
    if (!wav->haveFormat || !wav->data) {
        *error = "not a WAV file (no format or data chunk)";
        return false;
    }
    return true;
}

}  // namespace

bool LoadMonoSamples(const std::string& path, std::vector<int16_t>* samples, std::string* error) {
    samples->clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = "cannot read '" + path + "'";
        return false;
    }
    WavData wav;
    if (!ParseWav(bytes, &wav, error)) {
        *error = "'" + path + "': " + *error;
        return false;
    }
    if (wav.formatTag != 1 || wav.channels != 1 || wav.sampleRate != 32000 || wav.bitsPerSample != 16) {
        *error = "'" + path + "': unsupported WAV format (format " + std::to_string(wav.formatTag) + ", " +
                 std::to_string(wav.channels) + " channels, " + std::to_string(wav.sampleRate) + " Hz, " +
                 std::to_string(wav.bitsPerSample) + " bits); 16-bit PCM mono at 32000 Hz is needed";
        return false;
    }
    samples->resize(wav.dataBytes / 2);
    for (size_t i = 0; i < samples->size(); ++i) (*samples)[i] = static_cast<int16_t>(ReadLe16(wav.data + 2 * i));
    return true;
}

}  // namespace sonotrap::tool
