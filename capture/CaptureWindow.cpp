#include "capture/CaptureWindow.h"

#include <utility>

namespace sonotrap {

void CaptureWindowExchange::Publish() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(fill_, ready_);
    fresh_ = true;
}

const CaptureWindow* CaptureWindowExchange::TakeLatest() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!fresh_) return nullptr;
    std::swap(reading_, ready_);
    fresh_ = false;
    return &windows_[reading_];
}

void CaptureWindowExchange::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& w : windows_) w = CaptureWindow{};
    fresh_ = false;
}

}  // namespace sonotrap
