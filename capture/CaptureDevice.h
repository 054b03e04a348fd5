#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "capture/CaptureView.h"
#include "capture/CaptureWindow.h"
#include "capture/Recorder.h"
#include "platform/AutoResetEvent.h"
#include "platform/CaptureBuffer.h"
#include "platform/Thread.h"

namespace sonotrap {

class DiagnosticLog;
class MainWindow;
struct CaptureSettings;

// What the capture side is built from. The log and the settings are required; the rest may be
// missing: without a window the capture thread starts at once instead of through the window's
// thread, without a view nothing is drawn, without analysis no block ever triggers.
struct CaptureServices {
    DiagnosticLog* log = nullptr;
    CaptureSettings* settings = nullptr;
    MainWindow* window = nullptr;
    CaptureInputOpener openInput;          // the default capture device
    BlockAnalysis* analysis = nullptr;     // the band peak of each block
    CaptureView* view = nullptr;           // meters, graph, banner, recording readout
    // Fills a ten-digit MMDDhhmmss text; MakeTimeStamp (local time now) when empty.
    std::function<void(char* buffer)> makeTimeStamp;
    GroupReportFn groupReport;             // each group that went into a file, as it ends
    // Batch work over a device that answers at once (a scan in lock step): the capture thread
    // processes each block itself, as the device signals the next block while the thread hands
    // the last one back. Never for a live device: the capture could miss notifications.
    bool batch = false;
    // Called on the capture thread when it ends on a device failure during a run (the failure
    // is in the log by then). The run's threads are still to be stopped by the window's thread.
    std::function<void()> captureLost;
};

// The capture device and its two threads. The capture thread wakes at each of the buffer's 16
// notifications and hands the newest 35072 bytes to the processing thread, which analyses,
// shows and (in Record) records each block from the seventh of a run on.
//
// Calling order, all from one (the window's) thread: InitCapture, then per run StartCapture ...
// StopCapture (+ CloseRecordingFile in a Record run), any number of times, then ReleaseCapture.
// Every thread is joined before anything it uses is freed.
class CaptureDevice {
public:
    explicit CaptureDevice(CaptureServices services);
    ~CaptureDevice();  // ReleaseCapture
    CaptureDevice(const CaptureDevice&) = delete;
    CaptureDevice& operator=(const CaptureDevice&) = delete;

    // Opens the default capture device and its buffer; true at once when already open.
    bool InitCapture();
    // Starts a Monitor (monitorOnly) or Record run. False when the device is not initialised or
    // its buffer does not start. The capture thread itself starts on the window's thread (the
    // posted start message), or here when there is no window.
    bool StartCapture(bool monitorOnly);
    // The stop sequence: stops the buffer and both threads and waits for them to end. The
    // recording file stays open; a Record run's caller closes it with CloseRecordingFile.
    void StopCapture();
    // Finishes and closes the open recording file, if any, and zeroes the per-file counters.
    void CloseRecordingFile();
    // Stops everything and releases the device; harmless in any state.
    void ReleaseCapture();

    bool IsInitialised() const { return initialised_; }
    bool IsCapturing() const { return capturing_.load(); }
    bool IsCaptureHealthy() const { return healthy_.load(); }
    bool HasCaptureThread() const { return captureThread_.Joinable(); }
    uint32_t BlocksCaptured() const { return blocksCaptured_.load(); }

    // The trigger and its files, for summaries and tests. Read it only while no run is going.
    const Recorder& GetRecorder() const { return recorder_; }

private:
    void StartCaptureThread();  // the window's start message
    void CaptureThreadProc();
    bool OnCaptureNotification(int index);
    void ProcessingThreadProc();
    void ProcessLatestWindow();  // the newest published window, if any, through the recorder
    void StopProcessingThread();
    void StopCaptureThread();
    void TakeTimeStamp(char* buffer);
    void Settle(uint32_t ms) const;

    CaptureServices services_;
    std::unique_ptr<CaptureInput> input_;
    std::unique_ptr<CaptureBuffer> buffer_;
    CaptureNotifications notifications_;
    CaptureWindowExchange windows_;
    std::atomic<uint32_t> blocksCaptured_{0};
    Recorder recorder_;

    // Time-stamp ring, written by the capture thread only (copied into each window).
    std::array<std::array<char, kTimeStampBytes>, kTimeStampSlots> ring_{};
    int ringIndex_ = 0;
    std::array<char, kTimeStampBytes> latestStamp_{};

    bool initialised_ = false;
    std::atomic<bool> capturing_{false};
    std::atomic<bool> healthy_{true};
    std::atomic<bool> captureBusy_{false};
    std::atomic<bool> processingStop_{false};

    // Each worker is stopped by flag plus event and then joined (no time-limited waits that
    // could leave a thread running on freed state).
    Thread captureThread_;
    Thread processingThread_;
    AutoResetEvent processingWake_;
    std::mutex processingStopMutex_;  // the capture and the window's thread may both stop it

    // Lets a start message still queued on the window's thread find out that this object is gone.
    std::shared_ptr<CaptureDevice*> alive_;
};

}  // namespace sonotrap
