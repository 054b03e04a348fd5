#include "capture/CaptureDevice.h"

#include <cstring>

#include "log/DiagnosticLog.h"
#include "capture/CaptureSettings.h"
#include "platform/MainWindow.h"

namespace sonotrap {

namespace {
constexpr uint32_t kWindowBytes = CaptureWindow::kBytes;
constexpr uint32_t kFirstProcessedBlock = 7;
}  // namespace

CaptureDevice::CaptureDevice(CaptureServices services)
    : services_(std::move(services)),
      recorder_(*services_.log, *services_.settings, services_.analysis, services_.view, blocksCaptured_),
      alive_(std::make_shared<CaptureDevice*>(this)) {
    recorder_.SetGroupReport(services_.groupReport);
}

CaptureDevice::~CaptureDevice() {
    ReleaseCapture();
    alive_.reset();
}

void CaptureDevice::TakeTimeStamp(char* buffer) {
    if (services_.makeTimeStamp) {
        services_.makeTimeStamp(buffer);
    } else {
        MakeTimeStamp(buffer);
    }
}

bool CaptureDevice::InitCapture() {
    if (initialised_) return true;
    DiagnosticLog& log = *services_.log;
    input_ = services_.openInput ? services_.openInput() : nullptr;
    if (!input_) {
        log.LogLine("Can't initialize DirectSound Capture!");
        log.LogLine("InitDSound failed!");
        return false;
    }
    notifications_.ResetAll();
    windows_.Clear();
    ring_ = {};
    ringIndex_ = 0;
    buffer_ = input_->CreateCaptureBuffer();
    if (!buffer_) {
        ReleaseCapture();
        log.LogLine("Failed to create capture buffer!");
        return false;
    }
    if (!buffer_->SetNotificationPositions(&notifications_)) {
        ReleaseCapture();
        log.LogLine("Failed to set DS buffer notifications!");
        return false;
    }
    initialised_ = true;
    return true;
}

bool CaptureDevice::StartCapture(bool monitorOnly) {
    if (!initialised_) {
        ReleaseCapture();
        services_.log->LogLine("Direct Sound not initialized!");
        return false;
    }
    // A run still going is stopped first: its threads must not meet the new run's state.
    if (capturing_.load() || captureThread_.Joinable() || processingThread_.Joinable()) StopCapture();

    recorder_.BeginRun(monitorOnly);
    windows_.Clear();
    healthy_.store(true);
    capturing_.store(true);
    TakeTimeStamp(latestStamp_.data());

    processingStop_.store(false);
    processingWake_.Reset();
    if (!processingThread_.Start([this] { ProcessingThreadProc(); }, ThreadPriority::AboveNormal) &&
        services_.window) {
        services_.window->ShowMessageBox("Failed creating a thread - exiting!!", "Initialization error - ",
                                         MessageIcon::Exclamation);
    }

    notifications_.ResetAll();
    if (!buffer_->Start()) {
        // A buffer that does not run would leave a run that never captures: report it.
        services_.log->LogLine("Failed to start the capture buffer!");
        capturing_.store(false);
        StopProcessingThread();
        return false;
    }
    if (services_.window) {
        std::weak_ptr<CaptureDevice*> alive = alive_;
        services_.window->PostToMainThread([alive] {
            if (auto device = alive.lock()) (*device)->StartCaptureThread();
        });
    } else {
        StartCaptureThread();
    }
    return true;
}

void CaptureDevice::StartCaptureThread() {
    if (!capturing_.load() || captureThread_.Joinable()) return;
    if (!captureThread_.Start([this] { CaptureThreadProc(); }, ThreadPriority::Highest) && services_.window) {
        services_.window->ShowMessageBox("Failed creating Capture thread - exiting!!", "Initialization error - ",
                                         MessageIcon::Exclamation);
    }
}

void CaptureDevice::CaptureThreadProc() {
    while (capturing_.load() && healthy_.load()) {
        const int index = notifications_.WaitAny();
        if (!capturing_.load() || index < 0) break;
        captureBusy_.store(true);
        healthy_.store(OnCaptureNotification(index));
        captureBusy_.store(false);
    }
    if (!healthy_.load() && capturing_.load() && services_.captureLost) services_.captureLost();
}

bool CaptureDevice::OnCaptureNotification(int index) {
    ringIndex_ = (ringIndex_ + 1) % kTimeStampSlots;
    ring_[static_cast<size_t>(ringIndex_)] = latestStamp_;
    TakeTimeStamp(latestStamp_.data());

    int64_t start = static_cast<int64_t>(index + 1) * kCaptureBlockBytes - kWindowBytes;
    if (start < 0) start += kCaptureBufferBytes;
    CaptureRegions regions;
    const bool locked = buffer_->Lock(static_cast<uint32_t>(start), kWindowBytes, &regions);
    if (!locked || !regions.first) {
        if (locked) buffer_->Unlock(regions);
        services_.log->LogLine("Capture device lost: Lock failed!");
        buffer_->Stop();
        StopProcessingThread();
        return false;
    }
    const uint32_t total = regions.firstBytes + (regions.second ? regions.secondBytes : 0);
    if (total != kWindowBytes) {
        buffer_->Unlock(regions);
        services_.log->LogLine("Capture device lost: short copy!");
        return false;
    }
    CaptureWindow& window = windows_.FillSlot();
    std::memcpy(window.Bytes(), regions.first, regions.firstBytes);
    if (regions.second) std::memcpy(window.Bytes() + regions.firstBytes, regions.second, regions.secondBytes);
    if (!buffer_->Unlock(regions)) {
        services_.log->LogLine("Capture device lost: Unlock failed!");
        return false;
    }

    window.timeStamps = ring_;
    window.ringIndex = ringIndex_;
    // Generation before count: a close zeroes the count before it moves the generation, so a
    // window can at worst pair an old generation with a fresh count, which only shortens a
    // pre-roll and never repeats a block.
    window.fileGeneration = recorder_.FileGeneration();
    window.blocksCaptured = blocksCaptured_.fetch_add(1) + 1;
    windows_.Publish();
    if (window.blocksCaptured >= kFirstProcessedBlock && services_.batch) {
        // In batch work the hand-off to the processing thread would only make one thread wait
        // for the other: the block is processed here, which leaves the other core free.
        ProcessLatestWindow();
        buffer_->BlockConsumed();
    } else if (window.blocksCaptured >= kFirstProcessedBlock) {
        processingWake_.Set();
    } else {
        buffer_->BlockConsumed();
    }
    return true;
}

void CaptureDevice::ProcessingThreadProc() {
    while (!processingStop_.load()) {
        processingWake_.Wait();
        if (processingStop_.load()) break;
        ProcessLatestWindow();
        buffer_->BlockConsumed();
    }
}

void CaptureDevice::ProcessLatestWindow() {
    const CaptureWindow* window = windows_.TakeLatest();
    if (!window) return;
    recorder_.ProcessCaptureBlock(*window);
    int32_t seconds = 0;
    int32_t kilobytes = 0;
    if (recorder_.TakeCountersChanged(&seconds, &kilobytes) && services_.view) {
        services_.view->UpdateTimeAndSize(seconds, kilobytes);
    }
}

// The stop sequence's pauses give a live device and its threads time to settle. Batch work over a
// device that answers at once has nothing to wait for: every thread is joined all the same.
void CaptureDevice::Settle(uint32_t ms) const {
    if (!services_.batch) SleepMs(ms);
}

void CaptureDevice::StopProcessingThread() {
    std::lock_guard<std::mutex> guard(processingStopMutex_);
    if (!processingThread_.Joinable()) return;
    processingStop_.store(true);
    for (int i = 0; i < 5; ++i) Settle(2);
    processingWake_.Set();
    processingThread_.Join();
}

void CaptureDevice::StopCaptureThread() {
    for (int i = 0; i < 5; ++i) Settle(1);
    captureThread_.Join();
}

void CaptureDevice::StopCapture() {
    capturing_.store(false);
    notifications_.SetAll();
    if (captureBusy_.load()) {
        // The thread may be reading the buffer right now: stop the device under it first.
        if (buffer_) buffer_->Stop();
        StopProcessingThread();
        StopCaptureThread();
    } else {
        StopCaptureThread();
        if (buffer_) buffer_->Stop();
        StopProcessingThread();
    }
}

void CaptureDevice::CloseRecordingFile() { recorder_.CloseRecordingFile(); }

void CaptureDevice::ReleaseCapture() {
    StopCapture();
    recorder_.Release();
    buffer_.reset();
    input_.reset();
    windows_.Clear();
    if (initialised_) Settle(50);
    initialised_ = false;
}

}  // namespace sonotrap
