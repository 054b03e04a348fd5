#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sonotrap {

// Little-endian 16-bit samples read straight from file bytes, which may sit at any alignment.
inline int16_t LoadPcm16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

inline uint32_t LoadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Copies count little-endian samples into native samples; a plain copy on little-endian hosts.
inline void CopyPcm16(int16_t* dst, const uint8_t* src, size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(dst, src, count * 2);
    } else {
        for (size_t i = 0; i < count; ++i) dst[i] = LoadPcm16(src + 2 * i);
    }
}

}  // namespace sonotrap
