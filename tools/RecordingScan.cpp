#include "tools/RecordingScan.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
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
    const uint64_t count = samples.size();
    return ScanRecording(MakeSampleSource(std::move(samples)), count, options);
}

ScanResult ScanRecording(CaptureSampleSource source, uint64_t inputSamples, const ScanOptions& options) {
    ScanResult result;
    const uint64_t inputBlocks = (inputSamples + kCaptureBlockBytes / 2 - 1) / (kCaptureBlockBytes / 2);
    DiagnosticLog log;
    errno = 0;
    if (!log.LogOpen(options.outputDirectory)) {
        result.failure = (std::filesystem::path(options.outputDirectory) / "Sonotrap.Log").string() + ": " +
                         (errno ? std::strerror(errno) : "cannot be created");
        return result;
    }
    CaptureSettings settings;
    ApplyOptions(options, settings);
    SpectrumBlockAnalysis analysis;
    BlockClock clock(options.start);

    VirtualCapturePacing pacing;
    pacing.lockStep = true;
    pacing.blockIntervalMs = options.blockIntervalMs;
    VirtualCaptureInput* input = nullptr;

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
    services.groupReport = options.groupReport;

    CaptureDevice device(services);
    if (!device.InitCapture() || !device.StartCapture(false)) {
        result.failure = "the run could not start (see Sonotrap.Log)";
        return result;
    }
    VirtualCaptureBuffer* buffer = input->LastBuffer();
    const uint64_t total = inputBlocks + pacing.trailingSilentBlocks;
    // A capture thread that gave up has stopped the buffer: it will never drain.
    bool drained = false;
    while (!(drained = buffer->WaitUntilDrained(kProgressPollMs)) && device.IsCaptureHealthy()) {
        if (options.progress) options.progress(buffer->BlocksCaptured(), total);
    }
    if (options.progress && drained) options.progress(total, total);
    device.StopCapture();
    device.CloseRecordingFile();
    result.blocks = buffer->BlocksCaptured();
    result.totals = device.GetRecorder().Totals();
    result.failure = device.GetRecorder().File().FirstFailure();
    if (!drained) result.failure = "capture stopped after " + std::to_string(result.blocks) + " blocks";
    result.ok = drained;
    device.ReleaseCapture();
    log.LogClose();
    return result;
}

}  // namespace sonotrap
