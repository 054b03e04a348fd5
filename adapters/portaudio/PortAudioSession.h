#pragma once

namespace sonotrap {

// One use of the PortAudio library. PortAudio is process-wide, so sessions share one
// Pa_Initialize: the first live session initialises it and the last one to end terminates it.
// The library's device probe floods stderr with ALSA complaints about devices that do not
// exist; ALSA's error handler drops them. The process's stderr itself is never touched: other
// threads may be writing to it.
class PortAudioSession {
public:
    PortAudioSession();
    ~PortAudioSession();
    PortAudioSession(const PortAudioSession&) = delete;
    PortAudioSession& operator=(const PortAudioSession&) = delete;

    // False when PortAudio could not be initialised; nothing else may then be called on it.
    bool IsOpen() const { return open_; }

private:
    bool open_ = false;
};

}  // namespace sonotrap
