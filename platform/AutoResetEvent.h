#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace sonotrap {

// An event that wakes one waiter and resets itself, as the threads' hand-shakes expect:
// a Set with nobody waiting is kept until the next Wait.
class AutoResetEvent {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

    void Set();
    void Reset();
    // True when the event was set (and is now reset again), false on time-out.
    bool Wait(uint32_t timeoutMs = kInfinite);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signaled_ = false;
};

}  // namespace sonotrap
