#pragma once
#include <cstdint>
#include <mutex>

namespace sonotrap {

// A mutex whose acquisition can time out. A worker thread holds its own for its whole life;
// whoever stops the thread waits on it to learn that the thread has ended.
class TimedMutex {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    // True when acquired, false on time-out.
    bool Acquire(uint32_t timeoutMs = kInfinite);
    void Release();

private:
    std::recursive_timed_mutex mutex_;
};

}  // namespace sonotrap
