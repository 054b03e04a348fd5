#include "platform/AutoResetEvent.h"

#include <chrono>

#include "platform/SpinWait.h"

namespace sonotrap {

void AutoResetEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signaled_ = true;
        pending_.store(true, std::memory_order_release);
    }
    cv_.notify_one();
}

void AutoResetEvent::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signaled_ = false;
    pending_.store(false, std::memory_order_relaxed);
}

bool AutoResetEvent::Wait(uint32_t timeoutMs) {
    if (const uint32_t spin = spinMicros_.load(std::memory_order_relaxed)) SpinUntilSet(pending_, spin);
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeoutMs == kInfinite) {
        cv_.wait(lock, [this] { return signaled_; });
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return signaled_; })) {
        return false;
    }
    signaled_ = false;
    pending_.store(false, std::memory_order_relaxed);
    return true;
}

}  // namespace sonotrap
