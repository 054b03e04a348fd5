#include "platform/TimedMutex.h"

#include <chrono>

namespace sonotrap {

bool TimedMutex::Acquire(uint32_t timeoutMs) {
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(mutex_);
    if (depth_ > 0 && owner_ == self) {
        ++depth_;
        return true;
    }
    const auto isFree = [this] { return depth_ == 0; };
    if (timeoutMs == kInfinite) {
        released_.wait(lock, isFree);
    } else if (!released_.wait_for(lock, std::chrono::milliseconds(timeoutMs), isFree)) {
        return false;
    }
    owner_ = self;
    depth_ = 1;
    return true;
}

bool TimedMutex::Release() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return false;
    if (--depth_ == 0) {
        owner_ = {};
        lock.unlock();
        released_.notify_one();
    }
    return true;
}

}  // namespace sonotrap
