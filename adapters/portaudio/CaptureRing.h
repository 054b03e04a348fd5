#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "adapters/portaudio/CaptureRateConverter.h"
#include "platform/CaptureBuffer.h"

namespace sonotrap {

// The looping capture buffer behind a live device: the device's callback writes incoming audio
// into it (converted to 32000 Hz when the device runs at another rate) and publishes each
// finished block through an atomic counter; a forwarding thread turns the published blocks
// into the buffer's notifications. The callback never allocates, locks or waits, and a reader
// never holds the writer up: it reads blocks the writer has finished and will not reach again
// for more than half the buffer's length.
class CaptureRing {
public:
    explicit CaptureRing(double deviceRate);
    ~CaptureRing();  // End
    CaptureRing(const CaptureRing&) = delete;
    CaptureRing& operator=(const CaptureRing&) = delete;

    // False when the rate converter could not be made.
    bool IsReady() const { return !converter_ || converter_->IsReady(); }
    void Bind(CaptureNotifications* notifications) { notifications_ = notifications; }
    // Before the device starts: silence, position 0, the forwarding thread running.
    void Begin();
    // After the device has stopped calling Write: the forwarding thread ends.
    void End();
    // The device's callback: frames samples at the device's rate; null input is silence.
    void Write(const int16_t* input, unsigned long frames);
    CaptureRegions Regions(uint32_t offset, uint32_t bytes) const;

private:
    void Store(const uint8_t* bytes, uint32_t count);  // null bytes: zeros
    void Forward();

    std::vector<uint8_t> memory_;
    uint32_t writePosition_ = 0;             // the callback's own
    std::atomic<uint32_t> blocksWritten_{0};  // published with release once a block is whole
    std::atomic<uint32_t> wakeups_{0};        // bumped to wake the forwarding thread
    std::atomic<bool> forwarding_{false};
    std::thread forwarder_;
    CaptureNotifications* notifications_ = nullptr;
    std::unique_ptr<CaptureRateConverter> converter_;
    std::vector<int16_t> converted_;  // one converted chunk, sized at construction
};

}  // namespace sonotrap
