#include "platform/CaptureBuffer.h"

#include <algorithm>
#include <chrono>

#include "platform/SpinWait.h"

namespace sonotrap {

void CaptureNotifications::Set(int index) {
    if (index < 0 || index >= kCaptureNotificationCount) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (setOrder_[index] == 0) setOrder_[index] = nextOrder_++;
        pending_.store(true, std::memory_order_release);
    }
    cv_.notify_all();
}

void CaptureNotifications::SetAll() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& order : setOrder_) {
            if (order == 0) order = nextOrder_++;
        }
        pending_.store(true, std::memory_order_release);
    }
    cv_.notify_all();
}

void CaptureNotifications::ResetAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& order : setOrder_) order = 0;
    pending_.store(false, std::memory_order_relaxed);
}

int CaptureNotifications::WaitAny(uint32_t timeoutMs) {
    if (const uint32_t spin = spinMicros_.load(std::memory_order_relaxed)) SpinUntilSet(pending_, spin);
    std::unique_lock<std::mutex> lock(mutex_);
    auto earliest = [this] {
        int found = kTimedOut;
        for (int k = 0; k < kCaptureNotificationCount; ++k) {
            if (setOrder_[k] != 0 && (found == kTimedOut || setOrder_[k] < setOrder_[found])) found = k;
        }
        return found;
    };
    int index = earliest();
    if (index == kTimedOut) {
        auto ready = [&] { return (index = earliest()) != kTimedOut; };
        if (timeoutMs == kInfinite) {
            cv_.wait(lock, ready);
        } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
            return kTimedOut;
        }
    }
    setOrder_[index] = 0;
    bool more = false;
    for (const auto order : setOrder_) more = more || order != 0;
    pending_.store(more, std::memory_order_relaxed);
    return index;
}

CaptureRegions CaptureRegionsOf(const uint8_t* memory, uint32_t offset, uint32_t bytes) {
    CaptureRegions regions;
    regions.first = memory + offset;
    regions.firstBytes = std::min(bytes, kCaptureBufferBytes - offset);
    if (regions.firstBytes < bytes) {
        regions.second = memory;
        regions.secondBytes = bytes - regions.firstBytes;
    }
    return regions;
}

}  // namespace sonotrap
