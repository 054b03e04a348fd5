#pragma once
#include <cstddef>
#include <cstdint>

#include "media/AudioFormat.h"

namespace sonotrap {

// Reads the sample data of a RIFF/WAVE file in place, from bytes that the caller keeps mapped
// for the reader's whole life. ParseRiffHeader finds the format and the "data" chunk; the
// block reads never touch a byte outside [DataStart(), DataEnd()).
class WavDataReader {
public:
    // Accepts 16-bit PCM (tag 1) and MPEG Layer III (tag 85). On failure Format().formatTag
    // is 0 and the file must be refused.
    bool ParseRiffHeader(const uint8_t* bytes, size_t count);

    const AudioFormat& Format() const { return format; }
    const uint8_t* DataStart() const { return dataStart; }
    const uint8_t* DataEnd() const { return dataEnd; }

    // A mono source: copies the next block of samples; the short last block is zero-padded.
    // Returns the real samples, 0 at the end.
    uint32_t ReadMonoBlock(int16_t* block);
    // A source of two or more channels: the mean of the first two channels of each frame.
    uint32_t ReadDownmixBlock(int16_t* block);
    void Rewind() { readPos = dataStart; }

private:
    AudioFormat format;
    const uint8_t* dataStart = nullptr;
    const uint8_t* readPos = nullptr;
    const uint8_t* dataEnd = nullptr;  // one past the last usable byte
};

}  // namespace sonotrap
