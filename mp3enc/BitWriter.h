#pragma once
#include <cstddef>
#include <cstdint>

namespace sonotrap::mp3enc {

// Packs bit fields most significant bit first into a frame buffer of 2048 bytes.
class BitWriter {
public:
    static constexpr size_t kCapacity = 2048;

    // Appends the low count (0..56) bits of value. Bits beyond the buffer are dropped.
    void Put(uint64_t value, int count) {
        if (count > 32) {
            Put32(static_cast<uint32_t>(value >> 32), count - 32);
            Put32(static_cast<uint32_t>(value), 32);
        } else {
            Put32(static_cast<uint32_t>(value), count);
        }
    }
    // Appends count 1-bits.
    void PutOnes(int count);
    // Moves the whole bytes still pending into the buffer (at the end of a frame).
    void Flush();
    void Clear() { bytes_ = 0; accumulator_ = 0; pending_ = 0; }

    size_t BitCount() const { return bytes_ * 8 + static_cast<size_t>(pending_); }
    size_t ByteCount() const { return bytes_; }  // bytes in the buffer (see Flush)
    const uint8_t* Data() const { return buffer_; }

private:
    void Put32(uint32_t value, int count) {
        accumulator_ = (accumulator_ << count) | (value & ((uint64_t{1} << count) - 1));
        pending_ += count;
        if (pending_ >= 32) Flush32();
    }
    void Flush32();  // moves 32 pending bits into the buffer

    uint8_t buffer_[kCapacity] = {};
    size_t bytes_ = 0;
    uint64_t accumulator_ = 0;  // pending bits in its low end
    int pending_ = 0;           // 0..31 between calls, 0..7 after Flush
};

}  // namespace sonotrap::mp3enc
