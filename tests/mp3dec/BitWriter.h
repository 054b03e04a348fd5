#pragma once
#include <cstdint>
#include <vector>

namespace sonotrap::test {

// Writes bits most significant first, for hand-made bitstreams; Patch overwrites bits in place.
class BitWriter {
public:
    void Put(uint32_t value, uint32_t bits) {
        for (uint32_t i = bits; i-- > 0;) PutBit((value >> i) & 1);
    }
    uint32_t BitCount() const { return count_; }
    std::vector<uint8_t> Bytes(size_t padTo = 0) const {
        std::vector<uint8_t> b = bytes_;
        if (b.size() < padTo) b.resize(padTo, 0);
        return b;
    }
    static void Patch(uint8_t* data, uint32_t bitPosition, uint32_t value, uint32_t bits) {
        for (uint32_t i = 0; i < bits; ++i) {
            const uint32_t bit = (value >> (bits - 1 - i)) & 1;
            const uint32_t p = bitPosition + i;
            data[p / 8] = static_cast<uint8_t>((data[p / 8] & ~(0x80 >> (p % 8))) | (bit << (7 - p % 8)));
        }
    }

private:
    void PutBit(uint32_t bit) {
        if (count_ % 8 == 0) bytes_.push_back(0);
        bytes_.back() |= static_cast<uint8_t>(bit << (7 - count_ % 8));
        ++count_;
    }
    std::vector<uint8_t> bytes_;
    uint32_t count_ = 0;
};

}  // namespace sonotrap::test
