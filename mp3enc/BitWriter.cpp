#include "mp3enc/BitWriter.h"

namespace sonotrap::mp3enc {

void BitWriter::Put(uint64_t value, int count) {
    if (count <= 0) return;
    const uint64_t mask = (uint64_t{1} << count) - 1;
    accumulator_ = (accumulator_ << count) | (value & mask);
    pending_ += count;
    while (pending_ >= 8) {
        pending_ -= 8;
        if (bytes_ < kCapacity) buffer_[bytes_++] = static_cast<uint8_t>(accumulator_ >> pending_);
    }
    accumulator_ &= (uint64_t{1} << pending_) - 1;
}

void BitWriter::PutOnes(int count) {
    for (; count >= 32; count -= 32) Put(0xffffffffu, 32);
    Put(0xffffffffu, count);
}

}  // namespace sonotrap::mp3enc
