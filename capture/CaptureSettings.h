#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace sonotrap {

// The settings the capture side reads. The shell owns one and copies its own settings into it
// whenever they change; the processing thread reads the trigger values on every block, so each
// is atomic. The output format and the recording directory are copied by StartCapture and hold
// for the whole run.
struct CaptureSettings {
    // A block triggers when its band peak level L satisfies threshold >= -L (dB).
    std::atomic<double> threshold{60.0};
    std::atomic<int32_t> minTriggerHz{16};     // inclusive
    std::atomic<int32_t> maxTriggerHz{16000};  // exclusive
    std::atomic<bool> outputMp3{true};         // false: WAV
    std::atomic<bool> peakLogging{true};
    std::atomic<bool> sizeLimit{true};         // close a file at the end of a group once >= 5 MiB

    // Where recordings go; "" means the current directory. Set before StartCapture.
    void SetRecordingDirectory(const std::string& directory);
    std::string RecordingDirectory() const;

private:
    mutable std::mutex lock_;
    std::string recordingDirectory_;
};

}  // namespace sonotrap
