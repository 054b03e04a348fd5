#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace sonotrap {

// Spins until flag is true or micros have passed; true when the flag was seen. For hand-shakes
// in batch work, where the partner on the other core answers within microseconds and a sleep
// would cost two system calls and a context switch per block.
inline bool SpinUntilSet(const std::atomic<bool>& flag, uint32_t micros) {
    if (micros == 0) return flag.load(std::memory_order_acquire);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(micros);
    for (uint32_t i = 1;; ++i) {
        if (flag.load(std::memory_order_acquire)) return true;
#if defined(__x86_64__) || defined(__i386__)
        _mm_pause();
#endif
        if ((i & 63) == 0 && std::chrono::steady_clock::now() >= deadline) return false;
    }
}

}  // namespace sonotrap
