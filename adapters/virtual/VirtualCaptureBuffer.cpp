#include "adapters/virtual/VirtualCaptureBuffer.h"

#include <algorithm>
#include <cstring>

namespace sonotrap {

namespace {
constexpr size_t kBlockSamples = kCaptureBlockBytes / 2;
}  // namespace

CaptureSampleSource MakeSampleSource(std::vector<int16_t> samples) {
    auto data = std::make_shared<std::vector<int16_t>>(std::move(samples));
    auto position = std::make_shared<size_t>(0);
    return [data, position](int16_t* out, size_t count) {
        const size_t n = std::min(count, data->size() - *position);
        std::copy_n(data->data() + *position, n, out);
        *position += n;
        return n;
    };
}

VirtualCaptureBuffer::VirtualCaptureBuffer(CaptureSampleSource source, VirtualCapturePacing pacing,
                                           VirtualCaptureFaults faults)
    : source_(std::move(source)),
      pacing_(pacing),
      faults_(faults),
      memory_(kCaptureBufferBytes, 0),
      captureOnConsume_(pacing.lockStep && pacing.blockIntervalMs <= 0.0) {}

VirtualCaptureBuffer::~VirtualCaptureBuffer() { Stop(); }

bool VirtualCaptureBuffer::SetNotificationPositions(CaptureNotifications* notifications) {
    if (faults_.refuseNotifications || !notifications) return false;
    notifications_ = notifications;
    return true;
}

bool VirtualCaptureBuffer::Start() {
    if (faults_.refuseStart) return false;
    std::lock_guard<std::mutex> stopGuard(stopLock_);
    if (thread_.joinable()) return true;
    {
        std::lock_guard<std::mutex> state(stateLock_);
        if (captureOnConsume_ && running_) return true;
    }
    {
        std::lock_guard<std::mutex> memory(memoryLock_);
        std::fill(memory_.begin(), memory_.end(), 0);
    }
    {
        std::lock_guard<std::mutex> state(stateLock_);
        running_ = true;
        consumed_ = 0;
        inputEnded_ = false;
        lastBlockKnown_ = false;
        drained_ = false;
        nextBlock_ = 1;
    }
    if (captureOnConsume_) {
        CaptureBlock(0);
    } else {
        thread_ = std::thread([this] { Run(); });
    }
    return true;
}

bool VirtualCaptureBuffer::Stop() {
    std::lock_guard<std::mutex> stopGuard(stopLock_);
    {
        std::lock_guard<std::mutex> state(stateLock_);
        running_ = false;
    }
    stateChanged_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    return true;
}

bool VirtualCaptureBuffer::Lock(uint32_t offset, uint32_t bytes, CaptureRegions* regions) {
    const int64_t call = lockCalls_.fetch_add(1);
    if (call == faults_.failLockAtCall || !regions || offset >= kCaptureBufferBytes || bytes > kCaptureBufferBytes) {
        return false;
    }
    memoryLock_.lock();
    *regions = CaptureRegionsOf(memory_.data(), offset, bytes);
    return true;
}

bool VirtualCaptureBuffer::Unlock(const CaptureRegions&) {
    memoryLock_.unlock();
    return true;
}

void VirtualCaptureBuffer::BlockConsumed() {
    bool captureNext = false;
    uint64_t next = 0;
    bool wake = false;
    {
        std::lock_guard<std::mutex> state(stateLock_);
        ++consumed_;
        if (pacing_.lockStep && lastBlockKnown_ && consumed_ > lastBlock_) drained_ = true;
        if (captureOnConsume_ && running_ && !(lastBlockKnown_ && nextBlock_ > lastBlock_)) {
            captureNext = true;
            next = nextBlock_++;
        }
        wake = WakesWaiters();
    }
    if (wake) stateChanged_.notify_all();
    if (captureNext) CaptureBlock(next);
}

// Without a pacing thread only WaitUntilDrained waits here: waking it at every block would cost
// the run a thread switch per block for nothing.
bool VirtualCaptureBuffer::WakesWaiters() const { return drained_ || !captureOnConsume_; }

bool VirtualCaptureBuffer::WaitUntilDrained(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> state(stateLock_);
    return stateChanged_.wait_for(state, std::chrono::milliseconds(timeoutMs), [this] { return drained_; });
}

bool VirtualCaptureBuffer::WaitTurn(uint64_t block, std::chrono::steady_clock::time_point due) {
    std::unique_lock<std::mutex> state(stateLock_);
    stateChanged_.wait_until(state, due, [this] { return !running_; });
    // In lock step a drained device captures nothing more: batch results stay exact.
    stateChanged_.wait(state, [&] {
        if (!running_) return true;
        if (!pacing_.lockStep) return true;
        return consumed_ >= block && !(lastBlockKnown_ && block > lastBlock_);
    });
    return running_;
}

void VirtualCaptureBuffer::CaptureBlock(uint64_t block) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> memory(memoryLock_);
        int16_t* out = reinterpret_cast<int16_t*>(memory_.data() + (block % kCaptureNotificationCount) * kCaptureBlockBytes);
        size_t got = 0;
        bool ended;
        {
            std::lock_guard<std::mutex> state(stateLock_);
            ended = inputEnded_;
        }
        if (!ended) got = source_(out, kBlockSamples);
        std::fill(out + got, out + kBlockSamples, int16_t{0});
        std::lock_guard<std::mutex> state(stateLock_);
        if (got > 0) inputBlocks_.fetch_add(1);
        if (!inputEnded_ && got < kBlockSamples) {
            inputEnded_ = true;
            lastBlockKnown_ = true;
            lastBlock_ = block + pacing_.trailingSilentBlocks;
        }
        if (lastBlockKnown_ && block >= lastBlock_ && !pacing_.lockStep) drained_ = true;
        wake = WakesWaiters();
    }
    blocksCaptured_.fetch_add(1);
    if (wake) stateChanged_.notify_all();
    if (notifications_) notifications_->Set(static_cast<int>(block % kCaptureNotificationCount));
}

void VirtualCaptureBuffer::Run() {
    const auto start = std::chrono::steady_clock::now();
    const auto interval = std::chrono::duration<double, std::milli>(pacing_.blockIntervalMs);
    for (uint64_t block = 0;; ++block) {
        const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval * static_cast<double>(block));
        if (!WaitTurn(block, due)) return;
        CaptureBlock(block);
    }
}

VirtualCaptureInput::VirtualCaptureInput(CaptureSampleSource source, VirtualCapturePacing pacing,
                                         VirtualCaptureFaults faults)
    : source_(std::move(source)), pacing_(pacing), faults_(faults) {}

std::unique_ptr<CaptureBuffer> VirtualCaptureInput::CreateCaptureBuffer() {
    if (faults_.refuseBuffer) return nullptr;
    auto buffer = std::make_unique<VirtualCaptureBuffer>(source_, pacing_, faults_);
    last_ = buffer.get();
    return buffer;
}

}  // namespace sonotrap
