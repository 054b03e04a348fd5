#pragma once
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "capture/Recorder.h"
#include "adapters/virtual/VirtualCaptureBuffer.h"

namespace sonotrap {

// A Record run over recorded samples instead of a microphone: the same capture device,
// threads, trigger and files, fed by a virtual capture buffer. In lock step (the default) no
// block is dropped and the run goes as fast as the machine allows.
struct ScanOptions {
    std::string outputDirectory = ".";  // recordings and "Sonotrap.Log"
    bool mp3 = true;
    double threshold = 60.0;
    int32_t minTriggerHz = 16;
    int32_t maxTriggerHz = 16000;
    bool sizeLimit = true;
    bool peakLogging = true;
    std::time_t start = 0;          // local time of the first block; block k starts 72 ms later each
    double blockIntervalMs = 0.0;   // least time between blocks (72 = real time)
    // Called now and then from the calling thread with the blocks captured so far and in all.
    std::function<void(uint64_t done, uint64_t total)> progress;
    // Each group that went into a file, as it ends (on the run's processing thread).
    GroupReportFn groupReport;
};

struct ScanResult {
    bool ok = false;          // false when the run could not start or did not finish
    uint64_t blocks = 0;      // capture blocks the input made
    RecorderTotals totals;
    // Why the run failed, or the first recording that could not be made or written ("path:
    // reason"); what was written before stays readable. Empty when all went well.
    std::string failure;
    double SecondsKept() const { return static_cast<double>(totals.blocksKept) * 0.072; }
};

// source yields inputSamples samples (16-bit mono, 32000 Hz), then ends.
ScanResult ScanRecording(CaptureSampleSource source, uint64_t inputSamples, const ScanOptions& options);
ScanResult ScanRecording(std::vector<int16_t> samples, const ScanOptions& options);

// The MMDDhhmmss stamp of the capture block that begins elapsedMs after start (local time).
std::string ScanTimeStamp(std::time_t start, uint64_t elapsedMs);

}  // namespace sonotrap
