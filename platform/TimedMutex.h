#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace sonotrap {

// A recursive mutex whose acquisition can time out. A worker thread may hold one for its whole
// life so that whoever stops it can wait on it, with a limit, to learn that it has ended.
// Built on a condition variable rather than the system's timed lock, which ThreadSanitizer
// cannot follow.
class TimedMutex {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    // True when acquired, false on time-out.
    bool Acquire(uint32_t timeoutMs = kInfinite);
    // Releases one acquisition by the calling thread; false when the thread does not hold it.
    bool Release();

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::thread::id owner_{};
    uint32_t depth_ = 0;
};

}  // namespace sonotrap
