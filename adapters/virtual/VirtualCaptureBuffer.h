#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/CaptureBuffer.h"

namespace sonotrap {

// Fills out with up to count samples (16-bit mono, 32000 Hz) and returns how many it gave;
// fewer than count means the input has ended.
using CaptureSampleSource = std::function<size_t(int16_t* out, size_t count)>;

// A source that plays the given samples once.
CaptureSampleSource MakeSampleSource(std::vector<int16_t> samples);

// How a virtual device delivers its blocks.
struct VirtualCapturePacing {
    // Lock step: the next block is captured only after the consumer called BlockConsumed for the
    // previous one, so no block is ever lost (batch work). Otherwise blocks arrive on their own.
    bool lockStep = true;
    // Least time between two blocks; 72 ms is real time, 0 as fast as possible.
    double blockIntervalMs = 0.0;
    // Silent blocks captured after the input ends, so its last samples reach a current block.
    uint32_t trailingSilentBlocks = 1;
};

// Failures a test can ask a virtual device for.
struct VirtualCaptureFaults {
    bool refuseBuffer = false;         // CreateCaptureBuffer gives null
    bool refuseNotifications = false;  // SetNotificationPositions fails
    bool refuseStart = false;          // Start fails
    int64_t failLockAtCall = -1;       // the Lock call with this number (0 = first) fails
};

// A capture buffer fed from a sample source by its own thread, block by block, with the same
// geometry and notifications as a live device. After the input (and the trailing silence) it
// goes on capturing silence and reports itself drained.
class VirtualCaptureBuffer : public CaptureBuffer {
public:
    VirtualCaptureBuffer(CaptureSampleSource source, VirtualCapturePacing pacing, VirtualCaptureFaults faults = {});
    ~VirtualCaptureBuffer() override;

    bool SetNotificationPositions(CaptureNotifications* notifications) override;
    bool Start() override;
    bool Stop() override;
    bool Lock(uint32_t offset, uint32_t bytes, CaptureRegions* regions) override;
    bool Unlock(const CaptureRegions& regions) override;
    void BlockConsumed() override;

    // True once every block of the input has been captured and (in lock step) consumed.
    bool WaitUntilDrained(uint32_t timeoutMs);
    uint64_t BlocksCaptured() const { return blocksCaptured_.load(); }
    uint64_t InputBlocks() const { return inputBlocks_.load(); }  // blocks holding input so far

private:
    void Run();
    bool WaitTurn(uint64_t block, std::chrono::steady_clock::time_point due);
    void CaptureBlock(uint64_t block);
    bool WakesWaiters() const;  // stateLock_ held

    CaptureSampleSource source_;
    VirtualCapturePacing pacing_;
    VirtualCaptureFaults faults_;
    CaptureNotifications* notifications_ = nullptr;
    std::vector<uint8_t> memory_;
    std::mutex memoryLock_;  // held from Lock to Unlock, and while a block is captured

    std::thread thread_;
    std::mutex stopLock_;  // Stop may come from two threads at once
    std::mutex stateLock_;
    std::condition_variable stateChanged_;
    bool running_ = false;
    uint64_t consumed_ = 0;  // BlockConsumed calls since Start
    bool inputEnded_ = false;
    uint32_t silentBlocksLeft_ = 0;
    bool drained_ = false;
    bool lastBlockKnown_ = false;
    uint64_t lastBlock_ = 0;  // the last block of input and trailing silence
    std::atomic<uint64_t> blocksCaptured_{0};
    std::atomic<uint64_t> inputBlocks_{0};
    std::atomic<int64_t> lockCalls_{0};
    // Lock step at full speed needs no thread of its own: the consumer's BlockConsumed captures
    // the next block at once, which saves a thread switch per block.
    bool captureOnConsume_ = false;
    uint64_t nextBlock_ = 0;
};

// The virtual capture device: makes VirtualCaptureBuffers over one source.
class VirtualCaptureInput : public CaptureInput {
public:
    VirtualCaptureInput(CaptureSampleSource source, VirtualCapturePacing pacing, VirtualCaptureFaults faults = {});
    std::unique_ptr<CaptureBuffer> CreateCaptureBuffer() override;
    // The buffer made last (owned by whoever took it), or null.
    VirtualCaptureBuffer* LastBuffer() const { return last_; }

private:
    CaptureSampleSource source_;
    VirtualCapturePacing pacing_;
    VirtualCaptureFaults faults_;
    VirtualCaptureBuffer* last_ = nullptr;
};

}  // namespace sonotrap
