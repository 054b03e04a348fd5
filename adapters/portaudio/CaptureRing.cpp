#include "adapters/portaudio/CaptureRing.h"

#include <algorithm>
#include <cstring>

namespace sonotrap {

CaptureRing::CaptureRing(double deviceRate) : memory_(kCaptureBufferBytes, 0) {
    if (deviceRate == kCaptureSampleRate) return;
    converter_ = std::make_unique<CaptureRateConverter>(deviceRate, kCaptureSampleRate);
    converted_.resize(converter_->MaxOutput());
}

CaptureRing::~CaptureRing() { End(); }

void CaptureRing::Begin() {
    End();
    std::fill(memory_.begin(), memory_.end(), 0);
    writePosition_ = 0;
    blocksWritten_.store(0);
    forwarding_.store(true);
    forwarder_ = std::thread([this] { Forward(); });
}

void CaptureRing::End() {
    if (!forwarder_.joinable()) return;
    forwarding_.store(false);
    wakeups_.fetch_add(1);
    wakeups_.notify_one();
    forwarder_.join();
}

void CaptureRing::Write(const int16_t* input, unsigned long frames) {
    if (!converter_) {
        Store(reinterpret_cast<const uint8_t*>(input), static_cast<uint32_t>(frames * 2));
    } else {
        static const int16_t kSilence[CaptureRateConverter::kMaxChunk] = {};
        for (unsigned long at = 0; at < frames; at += CaptureRateConverter::kMaxChunk) {
            const size_t n = std::min<size_t>(CaptureRateConverter::kMaxChunk, frames - at);
            const size_t made = converter_->Convert(input ? input + at : kSilence, n, converted_.data());
            Store(reinterpret_cast<const uint8_t*>(converted_.data()), static_cast<uint32_t>(made * 2));
        }
    }
    wakeups_.fetch_add(1, std::memory_order_release);
    wakeups_.notify_one();
}

void CaptureRing::Store(const uint8_t* bytes, uint32_t count) {
    while (count > 0) {
        const uint32_t blockEnd = (writePosition_ / kCaptureBlockBytes + 1) * kCaptureBlockBytes;
        const uint32_t n = std::min(count, blockEnd - writePosition_);
        if (bytes) {
            std::memcpy(memory_.data() + writePosition_, bytes, n);
            bytes += n;
        } else {
            std::memset(memory_.data() + writePosition_, 0, n);
        }
        count -= n;
        writePosition_ += n;
        if (writePosition_ == blockEnd) {
            if (writePosition_ == kCaptureBufferBytes) writePosition_ = 0;
            blocksWritten_.fetch_add(1, std::memory_order_release);
        }
    }
}

// Block n of a run ends at notification n mod 16. A forwarder that fell a whole buffer behind
// signals only the newest blocks; the older ones have been overwritten.
void CaptureRing::Forward() {
    uint32_t forwarded = 0;
    while (forwarding_.load()) {
        const uint32_t seen = wakeups_.load(std::memory_order_acquire);
        const uint32_t written = blocksWritten_.load(std::memory_order_acquire);
        if (written - forwarded > kCaptureNotificationCount) forwarded = written - kCaptureNotificationCount;
        for (; forwarded != written; ++forwarded) {
            if (notifications_) notifications_->Set(static_cast<int>(forwarded % kCaptureNotificationCount));
        }
        wakeups_.wait(seen, std::memory_order_acquire);
    }
}

CaptureRegions CaptureRing::Regions(uint32_t offset, uint32_t bytes) const {
    return CaptureRegionsOf(memory_.data(), offset, bytes);
}

}  // namespace sonotrap
