#include "capture/CaptureSettings.h"

namespace sonotrap {

void CaptureSettings::SetRecordingDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> guard(lock_);
    recordingDirectory_ = directory;
}

std::string CaptureSettings::RecordingDirectory() const {
    std::lock_guard<std::mutex> guard(lock_);
    return recordingDirectory_;
}

}  // namespace sonotrap
