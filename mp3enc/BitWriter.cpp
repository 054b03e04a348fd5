#include "mp3enc/BitWriter.h"

namespace sonotrap::mp3enc {

void BitWriter::Flush32() {
    pending_ -= 32;
    const uint32_t word = static_cast<uint32_t>(accumulator_ >> pending_);
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (bytes_ < kCapacity) buffer_[bytes_++] = static_cast<uint8_t>(word >> shift);
    }
    accumulator_ &= (uint64_t{1} << pending_) - 1;
}

void BitWriter::Flush() {
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
