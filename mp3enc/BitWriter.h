#pragma once
#include <cstddef>
#include <cstdint>

namespace sonotrap::mp3enc {

// Packs bit fields most significant bit first into a frame buffer of 2048 bytes.
class BitWriter {
public:
    static constexpr size_t kCapacity = 2048;

    // Appends the low count (0..56) bits of value. Bits beyond the buffer are dropped.
    void Put(uint64_t value, int count);
    // Appends count 1-bits.
    void PutOnes(int count);
    void Clear() { bytes_ = 0; accumulator_ = 0; pending_ = 0; }

    size_t BitCount() const { return bytes_ * 8 + static_cast<size_t>(pending_); }
    size_t ByteCount() const { return bytes_; }  // completed bytes
    const uint8_t* Data() const { return buffer_; }

private:
    uint8_t buffer_[kCapacity] = {};
    size_t bytes_ = 0;
    uint64_t accumulator_ = 0;  // pending bits in its low end
    int pending_ = 0;           // 0..7 between calls
};

}  // namespace sonotrap::mp3enc
