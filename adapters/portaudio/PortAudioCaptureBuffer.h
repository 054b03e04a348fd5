#pragma once
#include <memory>

#include "platform/CaptureBuffer.h"

namespace sonotrap {

// An input of the machine through PortAudio (the default one, or PortAudio's device number
// device), as a CaptureInput: 16-bit mono at 32000 Hz, converted from the device's own rate
// when it will not open at 32000 Hz. Null when PortAudio cannot start or there is no such input.
std::unique_ptr<CaptureInput> OpenPortAudioCaptureInput(int device = -1);

}  // namespace sonotrap
