#pragma once
#include <memory>

#include "platform/SoundBuffer.h"

namespace sonotrap {

// The default output of the machine through PortAudio, as a SoundOutput. Its buffers play
// 16-bit mono at 32000 Hz; PortAudio's callback takes the bytes from the play cursor on, so the
// play cursor is what the device has taken and the write cursor lies one callback beyond it.
// CreateSoundBuffer fails with kSoundNoDevice when PortAudio cannot start or there is no
// output device, and with kSoundFormatRefused when the device will not take the format.
std::unique_ptr<SoundOutput> OpenPortAudioSoundOutput();

}  // namespace sonotrap
