#pragma once
#include <array>
#include <cstdint>
#include <mutex>

namespace sonotrap {

constexpr int kTimeStampSlots = 7;
constexpr int kTimeStampBytes = 16;

// The 35072 newest captured bytes as of one notification (oldest first), with the time-stamp
// ring as it stood then. The current block is bytes 27648..32255; the six blocks before it are
// the pre-roll; the 2816 bytes after it are newer audio that only the analysis looks at.
struct CaptureWindow {
    static constexpr uint32_t kBytes = 35072;
    static constexpr uint32_t kSamples = kBytes / 2;
    static constexpr uint32_t kCurrentBlockOffset = 27648;
    static constexpr uint32_t kCurrentBlockEnd = 32256;
    static constexpr uint32_t kAnalysisSamples = 16384;

    std::array<int16_t, kSamples> samples{};
    std::array<std::array<char, kTimeStampBytes>, kTimeStampSlots> timeStamps{};
    int ringIndex = 0;            // slot of the current block's time stamp
    uint32_t blocksCaptured = 0;  // notifications counted when this window was taken
    // The recorder's file generation when it was taken: a window from before a file close
    // counts its blocks from the run's start, not from the close.
    uint32_t fileGeneration = 0;

    const uint8_t* Bytes() const { return reinterpret_cast<const uint8_t*>(samples.data()); }
    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(samples.data()); }
    const char* TimeStamp(int slot) const { return timeStamps[static_cast<size_t>(slot)].data(); }
};

// Hands capture windows from the capture thread to the processing thread without either ever
// touching a window the other is using: the writer fills its own window and publishes it; the
// reader takes the newest published one. Windows published while the reader is busy replace
// each other, so a slow reader sees only the newest (as with an auto-reset wake event).
class CaptureWindowExchange {
public:
    CaptureWindow& FillSlot() { return windows_[fill_]; }  // writer only
    void Publish();
    // Reader only: the newest window if one was published since the last take, else null.
    const CaptureWindow* TakeLatest();
    void Clear();  // both threads stopped

private:
    std::array<CaptureWindow, 3> windows_{};
    std::mutex mutex_;
    int fill_ = 0;
    int ready_ = 1;
    int reading_ = 2;
    bool fresh_ = false;
};

}  // namespace sonotrap
