#include "platform/CaptureBuffer.h"

#include <algorithm>
#include <chrono>

namespace sonotrap {

void CaptureNotifications::Set(int index) {
    if (index < 0 || index >= kCaptureNotificationCount) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (setOrder_[index] == 0) setOrder_[index] = nextOrder_++;
    }
    cv_.notify_all();
}

void CaptureNotifications::SetAll() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& order : setOrder_) {
            if (order == 0) order = nextOrder_++;
        }
    }
    cv_.notify_all();
}

void CaptureNotifications::ResetAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& order : setOrder_) order = 0;
}

int CaptureNotifications::WaitAny(uint32_t timeoutMs) {
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
