#pragma once
#include <memory>

#include "platform/CaptureBuffer.h"

namespace sonotrap {

// The default input of the machine through PortAudio, as a CaptureInput: 16-bit mono at
// 32000 Hz, converted from the device's own rate when it will not open at 32000 Hz. Null when
// PortAudio cannot start or there is no input device.
std::unique_ptr<CaptureInput> OpenPortAudioCaptureInput();

}  // namespace sonotrap
