#include "platform/TimedMutex.h"

#include <chrono>

namespace sonotrap {

bool TimedMutex::Acquire(uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) {
        mutex_.lock();
        return true;
    }
    return mutex_.try_lock_for(std::chrono::milliseconds(timeoutMs));
}

void TimedMutex::Release() { mutex_.unlock(); }

}  // namespace sonotrap
