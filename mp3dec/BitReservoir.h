#pragma once
#include <cstdint>

namespace sonotrap::mp3 {

// The bit reservoir: two halves of 2304 bytes, each a 512-byte margin for the main data that
// earlier frames carry followed by room for one frame's payload. The buffer is longer than
// the halves so that reads driven by bad side information stay inside it (they read zeros
// or stale bytes, never foreign memory).
struct BitReservoir {
    static constexpr uint32_t kHalfBytes = 2304;
    static constexpr uint32_t kMargin = 512;
    static constexpr uint32_t kPayloadRoom = kHalfBytes - kMargin;  // 1792
    static constexpr uint32_t kBufferBytes = 8192;
    static uint32_t WriteStart(int half) { return half * kHalfBytes + kMargin; }

    uint8_t* buffer = nullptr;
    uint32_t bytePosition = kMargin;
    uint32_t bitIndex = 0;
};

// Reads bits most significant first from a position given in bits.
struct BitCursor {
    const uint8_t* data;
    uint32_t position;  // in bits

    // The next 32 bits; at least 25 of them are real (the rest are zero).
    uint32_t Peek32() const {
        const uint8_t* p = data + (position >> 3);
        const uint32_t word = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) |
                              (uint32_t(p[2]) << 8) | p[3];
        return word << (position & 7);
    }
    uint32_t Peek(uint32_t n) const { return n == 0 ? 0 : Peek32() >> (32 - n); }
    void Skip(uint32_t n) { position += n; }
    uint32_t Read(uint32_t n) {  // n <= 24
        const uint32_t v = Peek(n);
        position += n;
        return v;
    }
};

}  // namespace sonotrap::mp3
