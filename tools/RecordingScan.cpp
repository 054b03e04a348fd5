#include "tools/RecordingScan.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "log/DiagnosticLog.h"
#include "capture/CaptureDevice.h"
#include "capture/CaptureSettings.h"
#include "capture/SpectrumBlockAnalysis.h"
#include "adapters/virtual/VirtualCaptureBuffer.h"

namespace sonotrap {

namespace {

constexpr uint64_t kBlockMs = 72;
constexpr uint32_t kProgressPollMs = 100;

// Time stamps that advance 72 ms per capture notification from a chosen start.
class BlockClock {
public:
    explicit BlockClock(std::time_t start) : start_(start) {}
    void Next(char* buffer) {
        std::lock_guard<std::mutex> lock(mutex_);  // std::localtime shares one result buffer
        const std::string stamp = ScanTimeStamp(start_, calls_ * kBlockMs);
        std::memcpy(buffer, stamp.c_str(), stamp.size() + 1);
        ++calls_;
    }

private:
    std::mutex mutex_;
    std::time_t start_;
    uint64_t calls_ = 0;
};

void ApplyOptions(const ScanOptions& options, CaptureSettings& settings) {
    settings.outputMp3 = options.mp3;
    settings.threshold = options.threshold;
    settings.minTriggerHz = options.minTriggerHz;
    settings.maxTriggerHz = options.maxTriggerHz;
    settings.sizeLimit = options.sizeLimit;
    settings.peakLogging = options.peakLogging;
    settings.SetRecordingDirectory(options.outputDirectory);
}

}  // namespace

std::string ScanTimeStamp(std::time_t start, uint64_t elapsedMs) {
    static std::mutex localTimeLock;  // std::localtime is not reentrant
    std::lock_guard<std::mutex> lock(localTimeLock);
    const std::time_t t = start + static_cast<std::time_t>(elapsedMs / 1000);
    const std::tm* local = std::localtime(&t);
    char text[16] = "0000000000";
    if (local) std::strftime(text, sizeof text, "%m%d%H%M%S", local);
    return text;
}

ScanResult ScanRecording(std::vector<int16_t> samples, const ScanOptions& options) {
    ScanResult result;
    const uint64_t inputBlocks = (samples.size() + kCaptureBlockBytes / 2 - 1) / (kCaptureBlockBytes / 2);
    DiagnosticLog log;
    log.LogOpen(options.outputDirectory);
    CaptureSettings settings;
    ApplyOptions(options, settings);
    SpectrumBlockAnalysis analysis;
    BlockClock clock(options.start);

    VirtualCapturePacing pacing;
    pacing.lockStep = true;
    pacing.blockIntervalMs = options.blockIntervalMs;
    VirtualCaptureInput* input = nullptr;
    auto source = MakeSampleSource(std::move(samples));

    CaptureServices services;
    services.log = &log;
    services.settings = &settings;
    services.analysis = &analysis;
    services.openInput = [&] {
        auto made = std::make_unique<VirtualCaptureInput>(source, pacing);
        input = made.get();
        return made;
    };
    services.makeTimeStamp = [&clock](char* buffer) { clock.Next(buffer); };
    services.batch = options.blockIntervalMs <= 0.0;

    CaptureDevice device(services);
    if (!device.InitCapture() || !device.StartCapture(false)) return result;
    VirtualCaptureBuffer* buffer = input->LastBuffer();
    const uint64_t total = inputBlocks + pacing.trailingSilentBlocks;
    while (!buffer->WaitUntilDrained(kProgressPollMs)) {
        if (options.progress) options.progress(buffer->BlocksCaptured(), total);
    }
    if (options.progress) options.progress(total, total);
    device.StopCapture();
    device.CloseRecordingFile();
    result.blocks = buffer->BlocksCaptured();
    result.totals = device.GetRecorder().Totals();
    result.ok = true;
    device.ReleaseCapture();
    log.LogClose();
    return result;
}

}  // namespace sonotrap
