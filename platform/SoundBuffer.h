#pragma once
#include <cstdint>
#include <memory>

namespace sonotrap {

// Geometry of the playback buffer: five blocks of 4608 bytes (2304 samples of 16-bit mono PCM
// at 32000 Hz, 72 ms each), 23040 bytes that the device plays round and round.
constexpr uint32_t kSoundBlockBytes = 4608;
constexpr uint32_t kSoundBlockCount = 5;
constexpr uint32_t kSoundBufferBytes = kSoundBlockBytes * kSoundBlockCount;
constexpr uint32_t kSoundSampleRate = 32000;
constexpr uint32_t kSoundBytesPerSecond = kSoundSampleRate * 2;

// Outcome of a buffer operation: kSoundOk, one of the named failures, or any other non-zero
// value, an adapter's own error code (reported as a number).
using SoundResult = int32_t;
constexpr SoundResult kSoundOk = 0;
constexpr SoundResult kSoundBufferLost = 1;       // the device went away
constexpr SoundResult kSoundInvalidCall = 2;      // not valid in the buffer's state
constexpr SoundResult kSoundInvalidParam = 3;     // a position or size out of range
constexpr SoundResult kSoundPrioLevelNeeded = 4;  // the device is held by someone else
constexpr SoundResult kSoundNoDevice = 5;         // no output device to open
constexpr SoundResult kSoundFormatRefused = 6;    // the device refuses the output format

// Status bits from GetStatus.
constexpr uint32_t kSoundStatusPlaying = 0x1;
constexpr uint32_t kSoundStatusBufferLost = 0x2;
constexpr uint32_t kSoundStatusLooping = 0x4;

// What a Lock hands out: one region, or two when the range wraps past the buffer end.
struct SoundRegions {
    uint8_t* first = nullptr;
    uint32_t firstBytes = 0;
    uint8_t* second = nullptr;
    uint32_t secondBytes = 0;
};

// The regions of bytes from start in a looping buffer of kSoundBufferBytes at memory: one,
// or two when they wrap past the end. The caller has checked start and bytes.
inline SoundRegions RegionsOf(uint8_t* memory, uint32_t start, uint32_t bytes) {
    SoundRegions regions;
    regions.first = memory + start;
    regions.firstBytes = bytes < kSoundBufferBytes - start ? bytes : kSoundBufferBytes - start;
    if (regions.firstBytes < bytes) {
        regions.second = memory;
        regions.secondBytes = bytes - regions.firstBytes;
    }
    return regions;
}

// A looping output buffer of kSoundBufferBytes in 16-bit mono PCM at 32000 Hz.
// Once playing, the device plays it round and round. The play cursor is the byte being played;
// the write cursor lies ahead of it, and the bytes from the play cursor up to the write cursor
// are committed to the device and must not be written. Everything else may be written through
// Lock/Unlock while the buffer plays; the regions stay valid until Unlock.
class SoundBuffer {
public:
    virtual ~SoundBuffer() = default;

    virtual SoundResult SetCurrentPosition(uint32_t playPosition) = 0;
    virtual SoundResult Play() = 0;  // always looping
    virtual SoundResult Stop() = 0;  // keeps the position; harmless when stopped
    virtual SoundResult GetCurrentPosition(uint32_t* playCursor, uint32_t* writeCursor) = 0;
    virtual SoundResult GetStatus(uint32_t* status) = 0;
    // Locks bytes from offset, or from the current write cursor when fromWriteCursor is set
    // (offset is then ignored). bytes may not exceed the buffer size.
    virtual SoundResult Lock(uint32_t offset, uint32_t bytes, bool fromWriteCursor, SoundRegions* regions) = 0;
    virtual SoundResult Unlock(const SoundRegions& regions) = 0;
};

// The machine's default output device, which makes one playback buffer. CreateSoundBuffer
// returns kSoundOk and the buffer, or a failure (kSoundNoDevice, kSoundFormatRefused, ...).
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    virtual SoundResult CreateSoundBuffer(std::unique_ptr<SoundBuffer>* buffer) = 0;
};

}  // namespace sonotrap
