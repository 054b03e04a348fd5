#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace sonotrap {

// Geometry of the looping capture buffer: 16 capture blocks of 4608 bytes (2304 samples of
// 16-bit mono PCM at 32000 Hz, 72 ms each). Notification k fires when the write position
// passes (k + 1) * 4608; the last one sits at 73727 because 73728 lies outside the buffer.
constexpr uint32_t kCaptureBlockBytes = 4608;
constexpr uint32_t kCaptureBufferBytes = 73728;
constexpr int kCaptureNotificationCount = 16;
constexpr uint32_t kCaptureSampleRate = 32000;

constexpr uint32_t CaptureNotificationOffset(int k) {
    return k == kCaptureNotificationCount - 1 ? kCaptureBufferBytes - 1
                                              : static_cast<uint32_t>(k + 1) * kCaptureBlockBytes;
}

// Sixteen auto-reset events that one thread waits on together. A Set with nobody waiting is
// kept until a wait takes it; WaitAny hands out signalled events in the order they were set,
// so a waiter that fell behind still sees the blocks oldest first.
class CaptureNotifications {
public:
    static constexpr uint32_t kInfinite = 0xFFFFFFFFu;
    static constexpr int kTimedOut = -1;

    void Set(int index);
    void SetAll();
    void ResetAll();
    // Index of the earliest signalled event (now reset), or kTimedOut.
    int WaitAny(uint32_t timeoutMs = kInfinite);

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    uint64_t setOrder_[kCaptureNotificationCount] = {};  // 0 = not signalled
    uint64_t nextOrder_ = 1;
};

// What a Lock hands out: one region, or two when the range wraps past the buffer end.
struct CaptureRegions {
    const uint8_t* first = nullptr;
    uint32_t firstBytes = 0;
    const uint8_t* second = nullptr;
    uint32_t secondBytes = 0;
};

// The regions of [offset, offset + bytes) in a looping buffer of kCaptureBufferBytes at memory.
// The caller has checked offset < kCaptureBufferBytes and bytes <= kCaptureBufferBytes.
CaptureRegions CaptureRegionsOf(const uint8_t* memory, uint32_t offset, uint32_t bytes);

// A looping capture buffer of kCaptureBufferBytes. Once started, the device writes incoming
// audio round and round and signals the notification of each position it passes. Lock gives
// read access to a range of the buffer without copying; the range stays valid until Unlock.
class CaptureBuffer {
public:
    virtual ~CaptureBuffer() = default;

    // Binds the 16 notification events (the positions are fixed, see above). Not owned; they
    // must outlive the buffer.
    virtual bool SetNotificationPositions(CaptureNotifications* notifications) = 0;
    virtual bool Start() = 0;  // looping
    virtual bool Stop() = 0;   // harmless when not started
    virtual bool Lock(uint32_t offset, uint32_t bytes, CaptureRegions* regions) = 0;
    virtual bool Unlock(const CaptureRegions& regions) = 0;

    // The consumer has finished with the newest block. Live devices ignore it; a virtual device
    // running in lock step waits for it before it captures the next block, so no block is lost.
    virtual void BlockConsumed() {}
};

// The default capture device of the machine, which makes capture buffers (16-bit mono PCM at
// 32000 Hz, kCaptureBufferBytes). Null from CreateCaptureBuffer when the device refuses.
class CaptureInput {
public:
    virtual ~CaptureInput() = default;
    virtual std::unique_ptr<CaptureBuffer> CreateCaptureBuffer() = 0;
};

// Opens the default capture device; null when there is none.
using CaptureInputOpener = std::function<std::unique_ptr<CaptureInput>()>;

}  // namespace sonotrap
